# libcall-app and the library it names by a relative path.
scenario libcall "libcall-app calls test1 of ./libqor.so: found in the working directory, missing, and without test1 (lazy binding)"
traces libcall openat,mmap

scenario_libcall() {
    note "libcall-app records its library as \"./libqor.so\": the loader opens it in the current directory ($PWD)."
    cp "$TOUR_LIB/libqor.so" libqor.so
    run app libcall-app </dev/null
    rm libqor.so
    note "Now without libqor.so here: the loader refuses to start the program, so none of its own lines appears."
    run app libcall-app </dev/null
    cp "$TOUR_LIB/libqor-without-test1.so" libqor.so
    note "A libqor.so without test1: bound lazily, the program starts and prints its first line; the loader ends it at the call."
    run app libcall-app </dev/null
}
