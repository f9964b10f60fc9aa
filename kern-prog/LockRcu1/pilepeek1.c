// SPDX-License-Identifier: GPL-2.0
/*
 * pilepeek1: prints pilecore's stack to the kernel log without taking a lock, on the RCU
 * read side. Loaded while pilefeed holds its delay, it shows the nodes already replaced with
 * their new values and the rest with their old ones.
 * Watch: insmod pilecore.ko; insmod pilepeek1.ko; dmesg.
 */
#include <linux/init.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/rculist.h>
#include <linux/rcupdate.h>

#include "node.h"

static struct node *get;

/* Prints the node at `get`; the caller keeps it alive (see init). */
static void reader1(void)
{
	rcu_read_lock();
	printk(KERN_INFO " reader 1 .......... data_item1 = %d\tdata_item2 = %d\n",
	       rcu_dereference(get)->data_item1, rcu_dereference(get)->data_item2);
	rcu_read_unlock();
}

static int __init init_pilepeek1(void)
{
	printk(KERN_INFO "%s module is inserted\n", __func__);
	printk(KERN_INFO "\n data items in stack:\n");
	/*
	 * One read-side section across the whole walk: with preemptible RCU a grace period could
	 * otherwise end between two nodes, and pilefeed could free the node under `get` before
	 * the walk steps from it to the next. reader1's own section nests inside this one.
	 */
	rcu_read_lock();
	list_for_each_entry_rcu(get, &head, list)
		reader1();
	rcu_read_unlock();
	return 0;
}

static void __exit cleanup_pilepeek1(void)
{
	printk(KERN_INFO "%s module is removed\n", __func__);
}

module_init(init_pilepeek1);
module_exit(cleanup_pilepeek1);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("PILEPEEK1 MODULE");
MODULE_AUTHOR("TEAM TARQ");
