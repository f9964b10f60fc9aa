// SPDX-License-Identifier: GPL-2.0
/*
 * A /dev/clock for clock-reader: a misc character device whose reads deliver, one byte each,
 * the time of the system's real-time clock (UTC) taken when the device is opened: seconds,
 * minutes, hours, day of month (1-31), month (1-12), year modulo 100, as plain binary (not
 * BCD). After those six bytes a read returns end-of-file. Watch: insmod clock-device.ko;
 * clock-reader; date -u. Writes are refused, and so are seeks (nonseekable_open).
 */
#include <linux/fs.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/slab.h>
#include <linux/time.h>
#include <linux/timekeeping.h>
#include <linux/uaccess.h>

#define CLOCK_FIELDS 6
#define YEARS_PER_CENTURY 100

static int clock_open(struct inode *inode, struct file *file)
{
	struct tm tm;
	u8 *fields = kmalloc(CLOCK_FIELDS, GFP_KERNEL);

	if (!fields)
		return -ENOMEM;
	time64_to_tm(ktime_get_real_seconds(), 0, &tm);
	fields[0] = tm.tm_sec;
	fields[1] = tm.tm_min;
	fields[2] = tm.tm_hour;
	fields[3] = tm.tm_mday;
	fields[4] = tm.tm_mon + 1;
	fields[5] = (tm.tm_year + 1900) % YEARS_PER_CENTURY;
	file->private_data = fields;
	return nonseekable_open(inode, file);
}

static int clock_release(struct inode *inode, struct file *file)
{
	kfree(file->private_data);
	return 0;
}

static ssize_t clock_read(struct file *file, char __user *buf, size_t count, loff_t *ppos)
{
	const u8 *fields = file->private_data;
	size_t left;

	if (*ppos >= CLOCK_FIELDS)
		return 0;
	left = min_t(size_t, count, CLOCK_FIELDS - *ppos);
	if (copy_to_user(buf, fields + *ppos, left))
		return -EFAULT;
	*ppos += left;
	return left;
}

static const struct file_operations clock_fops = {
	.owner = THIS_MODULE,
	.open = clock_open,
	.release = clock_release,
	.read = clock_read,
};

static struct miscdevice clock_device = {
	.minor = MISC_DYNAMIC_MINOR,
	.name = "clock",
	.fops = &clock_fops,
	.mode = 0444,
};

module_misc_device(clock_device);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("real-time clock as six bytes on /dev/clock");
