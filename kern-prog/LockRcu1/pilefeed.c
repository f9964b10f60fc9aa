// SPDX-License-Identifier: GPL-2.0
/*
 * pilefeed: rewrites every node of pilecore's stack to (777, 888) by copy-update-replace:
 * copy the node, change the copy, swap it in with list_replace_rcu, wait for a grace period,
 * free the old one. The node (30, 300) is held half-updated for 10000 jiffies (a wait with
 * my_lock held that lets the CPU reschedule), so a reader loaded meanwhile sees a partly new
 * list.
 * Watch: insmod pilecore.ko; insmod pilefeed.ko & sleep 1; insmod pilepeek1.ko; dmesg.
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

#define DELAY_JIFFIES 10000
#define DELAYED_ITEM1 30

static DEFINE_MUTEX(my_lock);

static struct node *set;

/*
 * The only updater of the list. Every read of the list here happens with my_lock held, which
 * is what the walk tells RCU's list checking; the copy is allocated, and the grace period
 * waited for, without it. The cursor moves on to the copy once it is in the list: the copy
 * has the old node's successor, and the old node is freed before the walk steps on.
 */
static void writer(int new_data_item1, int new_data_item2)
{
	struct node *new, *old;
	unsigned long j = jiffies + DELAY_JIFFIES;

	mutex_lock(&my_lock);
	list_for_each_entry_rcu(set, &head, list, lockdep_is_held(&my_lock)) {
		mutex_unlock(&my_lock);
		new = kmalloc(sizeof(struct node), GFP_KERNEL);
		mutex_lock(&my_lock);
		/* Without memory for a copy this node stays as it is. */
		if (!new)
			continue;
		old = set;
		*new = *old;
		new->data_item1 = new_data_item1;
		if (old->data_item1 == DELAYED_ITEM1) {
			/*
			 * Deliberately waits with the lock held and the copy half-updated: it keeps
			 * the window open. The CPU may run other tasks meanwhile (readers, the
			 * watchdogs, RCU's own work), so the wait is no lockup and no RCU stall.
			 */
			while (deadline_pending(jiffies, j))
				cond_resched();
		}
		new->data_item2 = new_data_item2;
		list_replace_rcu(&old->list, &new->list);
		printk(KERN_INFO "in write \n");
		mutex_unlock(&my_lock);
		set = new;
		synchronize_rcu();
		kfree(old);
		mutex_lock(&my_lock);
	}
	mutex_unlock(&my_lock);
	printk(KERN_INFO "out write \n");
}

static int __init init_pilefeed(void)
{
	printk(KERN_INFO "%s is module inserted\n", __func__);
	writer(777, 888);
	return 0;
}

static void __exit cleanup_pilefeed(void)
{
	printk(KERN_INFO "%s is module removed\n", __func__);
}

module_init(init_pilefeed);
module_exit(cleanup_pilefeed);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("PILEFEED MODULE");
MODULE_AUTHOR("TEAM TARQ");
