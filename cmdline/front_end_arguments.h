#pragma once
// The command line as the console front end hands it over. Every local user
// can read a process's argv in /proc/<pid>/cmdline, and a command line can
// hold a password ("-setpassword PW"); the process environment and an
// inherited pipe are the process's own. So the front end starts the program
// with no arguments and writes them, each ending in a NUL, to a pipe whose
// descriptor it names in QV_ARGUMENTS_FD. A program started by hand still
// gets its argv; the password values in it are blanked once parsed.

namespace cmdline {

inline constexpr char kArgumentsFdVariable[] = "QV_ARGUMENTS_FD";

// When the front end handed arguments over, argc and argv become them (the
// program's name kept first; the storage lives as long as the process) and
// the variable goes from the environment. Otherwise nothing changes.
void TakeFrontEndArguments(int& argc, char**& argv);

// Overwrites, in place, the value after each password switch of argv, so
// /proc shows it no more.
void HidePasswordArguments(int argc, char** argv);

}  // namespace cmdline
