/* SPDX-License-Identifier: GPL-2.0 */
/*
 * When pilefeed's delay is over. The deadline is a jiffies value, and jiffies wraps: on a
 * 32-bit kernel it starts five minutes before it does, so a deadline taken then may lie past
 * the wrap while jiffies has not got there. time_before() compares the signed difference,
 * which stays right across the wrap where a plain `now < deadline` would end the delay at once.
 */
#ifndef LOCKRCU1_DEADLINE_H
#define LOCKRCU1_DEADLINE_H

#include <linux/jiffies.h>
#include <linux/types.h>

/* True while `now` has not yet reached `deadline` (both in jiffies). */
static inline bool deadline_pending(unsigned long now, unsigned long deadline)
{
	return time_before(now, deadline);
}

#endif
