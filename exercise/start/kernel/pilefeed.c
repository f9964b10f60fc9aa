// SPDX-License-Identifier: GPL-2.0
/*
 * pilefeed: rewrites every node of pilecore's stack to (777, 888) by copy-update-replace,
 * holding the node (30, 300) half-updated for 10000 jiffies so that a reader loaded meanwhile
 * sees a partly new list.
 *
 * What it must do:
 *  - static DEFINE_MUTEX(my_lock); a static cursor `struct node *set`.
 *  - static void writer(int new_data_item1, int new_data_item2): the deadline
 *    j = jiffies + 10000, once, before the walk. Walk the list from head with
 *    list_for_each_entry_rcu, cursor `set`, reading the list only with my_lock held (tell RCU
 *    list checking so: lockdep_is_held(&my_lock) as the walk's fourth argument). For each
 *    node: kmalloc a copy `new` without the lock (GFP_KERNEL; without memory leave that node as
 *    it is); with my_lock held: old = set; *new = *old; new->data_item1 = new_data_item1; if
 *    old->data_item1 is 30, wait while deadline_pending(jiffies, j) (deadline.h: a comparison
 *    that stays right when jiffies wraps), calling cond_resched() on each pass (the lock stays
 *    held and the copy half-updated and unpublished, yet the CPU may run other tasks: no soft
 *    lockup, no RCU stall); new->data_item2 = new_data_item2;
 *    list_replace_rcu(&old->list, &new->list); printk(KERN_INFO "in write \n"); release the
 *    lock; move the cursor to `new` (it has old's successor); synchronize_rcu() (a grace
 *    period, without the lock); kfree(old); take the lock again for the next step. After the
 *    last node: printk(KERN_INFO "out write \n").
 *  - static int __init init_pilefeed(void): printk(KERN_INFO "%s is module inserted\n",
 *    __func__) (note "is module"); writer(777, 888); return 0.
 *  - static void __exit cleanup_pilefeed(void): printk(KERN_INFO "%s is module removed\n",
 *    __func__).
 *  - module_init, module_exit; licence "GPL", description "PILEFEED MODULE", author
 *    "TEAM TARQ".
 * Loaded after a fresh pilecore it logs its init line, "in write " four times, "out write ",
 * and takes at least 40 s (10000 jiffies at HZ 250); loaded again it finds no (30,300) and
 * has no delay. Without pilecore its load fails: Unknown symbol head.
 *
 * Watch: insmod pilecore.ko; insmod pilefeed.ko & sleep 1; insmod pilepeek1.ko; dmesg.
 * Checked by: exercise/exercise check pilefeed pilefeed.c (in a VM: a few minutes)
 */
#include <linux/init.h>
#include <linux/jiffies.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/rculist.h>
#include <linux/rcupdate.h>
#include <linux/sched.h>
#include <linux/slab.h>

#include "deadline.h"
#include "node.h"

static int __init init_pilefeed(void)
{
	return 0;
}

static void __exit cleanup_pilefeed(void)
{
}

module_init(init_pilefeed);
module_exit(cleanup_pilefeed);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("PILEFEED MODULE");
MODULE_AUTHOR("TEAM TARQ");
