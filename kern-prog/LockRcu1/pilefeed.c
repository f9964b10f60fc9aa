// SPDX-License-Identifier: GPL-2.0
/*
 * pilefeed: rewrites every node of pilecore's stack to (777, 888) by copy-update-replace:
 * copy the node, change the copy, swap it in with list_replace_rcu, wait for a grace period,
 * free the old one. The node (30, 300) is held half-updated for 10000 jiffies (a busy wait
 * with my_lock held), so a reader loaded meanwhile on another CPU sees a partly new list.
 * Watch: insmod pilecore.ko; insmod pilefeed.ko & sleep 1; insmod pilepeek1.ko; dmesg.
 */
#include <linux/init.h>
#include <linux/jiffies.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/rculist.h>
#include <linux/rcupdate.h>
#include <linux/slab.h>

#include "node.h"

#define DELAY_JIFFIES 10000
#define DELAYED_ITEM1 30

static DEFINE_MUTEX(my_lock);

struct node *set;

void writer(int new_data_item1, int new_data_item2);

/*
 * The only updater of the list, so it may walk it without a read-side section. The cursor
 * moves on to the copy once it is in the list: the copy has the old node's successor, and
 * the old node is freed before the walk steps on.
 */
void writer(int new_data_item1, int new_data_item2)
{
	struct node *new, *old;
	unsigned long j = jiffies + DELAY_JIFFIES;

	list_for_each_entry_rcu(set, &head, list) {
		new = kmalloc(sizeof(struct node), GFP_KERNEL);
		/* Without memory for a copy this node stays as it is. */
		if (!new)
			continue;
		mutex_lock(&my_lock);
		old = set;
		*new = *old;
		new->data_item1 = new_data_item1;
		if (old->data_item1 == DELAYED_ITEM1) {
			/* Deliberately a busy wait with the lock held: it keeps the window open. */
			while (jiffies < j)
				cpu_relax();
		}
		new->data_item2 = new_data_item2;
		list_replace_rcu(&old->list, &new->list);
		printk(KERN_INFO "in write \n");
		mutex_unlock(&my_lock);
		set = new;
		synchronize_rcu();
		kfree(old);
	}
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
