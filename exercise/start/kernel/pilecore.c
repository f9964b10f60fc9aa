// SPDX-License-Identifier: GPL-2.0
/*
 * pilecore: a stack of `node` records under RCU; it exports the list head `head` for
 * pilefeed, pilepeek1 and pilepeek2.
 *
 * What it must do:
 *  - Define the list head with LIST_HEAD(head) (empty) and export it: EXPORT_SYMBOL(head)
 *    (not the GPL-only form). node.h declares struct node (s32 data_item1, s32 data_item2,
 *    struct list_head list) and `extern struct list_head head`.
 *  - static void add_entry_stack(int num1, int num2): kmalloc one node (GFP_KERNEL) into the
 *    module's static `struct node *p`; without memory skip the push (never write through a
 *    failed allocation); set both fields, then list_add_rcu(&p->list, &head) (it publishes
 *    the node only after the fields are set). No lock: nothing imports head before init ends.
 *  - static int __init init_pilecore(void): printk(KERN_INFO "%s module is inserted\n",
 *    __func__); push (10,100), (20,200), (30,300), (40,400), in this order; return 0. A walk
 *    from head then meets (40,400), (30,300), (20,200), (10,100).
 *  - static void __exit cleanup_pilecore(void): printk(KERN_INFO "%s module is removed\n",
 *    __func__). Nothing is unlinked or freed (the nodes become unreachable).
 *  - module_init, module_exit; licence "GPL", description "PILECORE MODULE", author
 *    "TEAM TARQ".
 * Everything but head is static. While a module that imports head is loaded, the kernel
 * refuses to unload pilecore; loaded again, it builds a fresh list.
 *
 * Watch: insmod pilecore.ko; dmesg; then load the others (the kernel scenario of the tour).
 * Checked by: exercise/exercise check pilecore pilecore.c (in a VM: a few minutes)
 */
#include <linux/init.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/rculist.h>
#include <linux/slab.h>

#include "node.h"

static int __init init_pilecore(void)
{
	return 0;
}

static void __exit cleanup_pilecore(void)
{
}

module_init(init_pilecore);
module_exit(cleanup_pilecore);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("PILECORE MODULE");
MODULE_AUTHOR("TEAM TARQ");
