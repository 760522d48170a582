// The body of quorvel_icon_qt. Its content is the Qt resource with the
// application icon (see CMakeLists.txt); Qt links the resource's object file
// straight into every program that links the library, where it registers
// ":/quorvel/app-icon" at start-up.
