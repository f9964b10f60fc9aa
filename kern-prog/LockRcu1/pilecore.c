// SPDX-License-Identifier: GPL-2.0
/*
 * pilecore: a stack of `node` records under RCU. Its init pushes (10,100) .. (40,400) at the
 * front and exports the list head `head` for pilefeed, pilepeek1 and pilepeek2.
 * Watch: insmod pilecore.ko; dmesg; then load the others. It cannot be unloaded while one of
 * them is loaded. Unloading leaves the nodes allocated (nobody can reach them any more).
 */
#include <linux/init.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/rculist.h>
#include <linux/slab.h>

#include "node.h"

LIST_HEAD(head);
EXPORT_SYMBOL(head);

static struct node *p;

/*
 * Pushes one node at the front. list_add_rcu publishes the node only after both fields are
 * set, so a reader that reaches it sees them. Without memory for the node the push is
 * skipped and the list stays as it was.
 */
static void add_entry_stack(int num1, int num2)
{
	p = kmalloc(sizeof(struct node), GFP_KERNEL);
	if (!p)
		return;
	p->data_item1 = num1;
	p->data_item2 = num2;
	list_add_rcu(&p->list, &head);
}

static int __init init_pilecore(void)
{
	static const int items[][2] = { { 10, 100 }, { 20, 200 }, { 30, 300 }, { 40, 400 } };
	size_t i;

	printk(KERN_INFO "%s module is inserted\n", __func__);
	for (i = 0; i < ARRAY_SIZE(items); i++)
		add_entry_stack(items[i][0], items[i][1]);
	return 0;
}

static void __exit cleanup_pilecore(void)
{
	printk(KERN_INFO "%s module is removed\n", __func__);
}

module_init(init_pilecore);
module_exit(cleanup_pilecore);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("PILECORE MODULE");
MODULE_AUTHOR("TEAM TARQ");
