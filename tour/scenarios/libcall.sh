# libcall-app and the library it names by a relative path.
scenario libcall "libcall-app calls test1 of ./libqor.so: found in the working directory, missing, and without test1 (lazy binding)"
traces libcall openat,mmap

scenario_libcall() {
    note "libcall-app records its library as \"./libqor.so\": the loader opens it in the current directory ($PWD)."
    cp "$TOUR_LIB/libqor.so" libqor.so
    run app libcall-app </dev/null
    expect_output app $'lib test\nlibqor.so: test1() called\nend'
    expect_status app 0
    rm libqor.so
    note "Now without libqor.so here: the loader refuses to start the program, so none of its own lines appears."
    run app libcall-app </dev/null
    expect_output app ''
    expect_count app.err 1 "error while loading shared libraries: ./libqor.so: cannot open shared object file"
    expect_status app 127
    cp "$TOUR_LIB/libqor-without-test1.so" libqor.so
    note "A libqor.so without test1: bound lazily, the program starts and prints its first line; the loader ends it at the call."
    run app libcall-app </dev/null
    expect_output app 'lib test'
    expect_count app.err 1 "symbol lookup error: $TOUR_BIN/libcall-app: undefined symbol: test1"
    expect_status app 127
}
