// The kernel matrix and the guests' programs as this build has them, for the host's side of
// the VM (the table is generated from cmake/KernelModules.cmake by vm/CMakeLists.txt).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vm {

// A kernel the modules are tested in. `dir` holds its boot image and busybox, `modules` the
// modules built for it; `missing` says why they are not there ("" when they are).
struct Kernel {
    std::string name, arch;
    std::vector<std::string> models;  // the preemption models it is booted with
    std::string dir, modules, missing;
};

// Every kernel of the matrix, in its order.
const std::vector<Kernel> &kernels();
// The kernel NAME of the matrix; throws std::invalid_argument when there is none.
const Kernel &kernel(std::string_view name);
// The static copy of PROGRAM built for a guest of ARCH ("" when this build has none).
std::string guestProgram(std::string_view program, std::string_view arch);
// vm-run.sh, which boots a guest.
std::string runner();

}  // namespace vm
