/* The kernel's wrap-safe jiffies comparisons, as include/linux/jiffies.h defines them (less
 * the type checks), so that the writer's deadline test runs on the host. */
#ifndef SHIM_LINUX_JIFFIES_H
#define SHIM_LINUX_JIFFIES_H

#define time_after(a, b) ((long)((b) - (a)) < 0)
#define time_before(a, b) time_after(b, a)

#endif
