// The precompiled header of the test executables needs a file of its own to be built with.
