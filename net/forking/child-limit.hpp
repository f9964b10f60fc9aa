// The forking servers' children, counted and bounded: each child is collected as it ends, at
// most kMaxChildren live at once (further connections wait in the listen queue meanwhile), and
// a child whose client sends nothing for kIdleSeconds has its read fail. Each forking server
// compiles in its own copy of this unit.
#pragma once

#include <sys/types.h>

constexpr int kMaxChildren = 64;   // children serving at once
constexpr int kIdleSeconds = 120;  // a child's longest wait for its client's bytes

// Collect every child as it ends (no zombie is left) and keep count of those alive. Called
// once, before the first fork.
void collectChildren();

// Return once fewer than kMaxChildren children are alive; until then the server accepts no
// connection.
void waitForRoom();

// fork, counted. In the child (0): reads on connfd fail with EAGAIN after kIdleSeconds without
// a byte. A failed fork is reported ("fork") and gives -1; the caller goes on.
pid_t forkChild(int connfd);
