/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The record of the kernel stack, one declaration for pilecore, pilefeed, pilepeek1 and
 * pilepeek2, so that the exported list `head` is walked with the same layout everywhere.
 */
#ifndef LOCKRCU1_NODE_H
#define LOCKRCU1_NODE_H

#include <linux/list.h>
#include <linux/types.h>

struct node {
	s32 data_item1;
	s32 data_item2;
	struct list_head list;
};

/* Owned by pilecore, imported by the other three. */
extern struct list_head head;

#endif
