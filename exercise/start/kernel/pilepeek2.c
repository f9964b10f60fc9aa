// SPDX-License-Identifier: GPL-2.0
/*
 * pilepeek2: prints pilecore's stack to the kernel log without taking a lock, on the RCU
 * read side. Loaded while pilefeed holds its delay, it shows the nodes already replaced with
 * their new values and the rest with their old ones.
 *
 * What it must do:
 *  - A static cursor `struct node *get`.
 *  - static void reader2(void): inside rcu_read_lock()/rcu_read_unlock(), printk(KERN_INFO
 *    "reader2 .............. data_item1 = %d\tdata_item2 = %d\n",
 *    rcu_dereference(get)->data_item1, rcu_dereference(get)->data_item2) (fourteen dots; a tab
 *    between the two).
 *  - static int __init init_pilepeek2(void): printk(KERN_INFO "%s module is inserted\n",
 *    __func__); printk(KERN_INFO "\ndata_items are POPED from stack:\n");
 *    walk the list from head with list_for_each_entry_rcu, cursor get, calling reader2 for
 *    each node; return 0. Keep the whole walk inside one read-side section (rcu_read_lock()
 *    before it, rcu_read_unlock() after; reader2's own section nests inside): with
 *    preemptible RCU a grace period could otherwise end between two nodes and pilefeed free
 *    the node under the cursor. Lockdep and RCU list checking (the debug kernel) report a walk
 *    or an rcu_dereference outside a read-side section.
 *  - static void __exit cleanup_pilepeek2(void): printk(KERN_INFO "%s module is removed\n",
 *    __func__).
 *  - module_init, module_exit; licence "GPL", description "PILEPEEK2 MODULE", author
 *    "TEAM TARQ".
 * The walk changes nothing. After a fresh pilecore it logs (40,400), (30,300), (20,200),
 * (10,100); after pilefeed four times (777,888); never a half-updated pair. Without pilecore
 * its load fails: Unknown symbol head.
 *
 * Watch: insmod pilecore.ko; insmod pilepeek2.ko; dmesg.
 * Checked by: exercise/exercise check pilepeek2 pilepeek2.c (in a VM: a few minutes)
 */
#include <linux/init.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/rculist.h>
#include <linux/rcupdate.h>

#include "node.h"

static int __init init_pilepeek2(void)
{
	return 0;
}

static void __exit cleanup_pilepeek2(void)
{
}

module_init(init_pilepeek2);
module_exit(cleanup_pilepeek2);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("PILEPEEK2 MODULE");
MODULE_AUTHOR("TEAM TARQ");
