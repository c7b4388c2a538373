// tembrel: the program a user starts.
#include "tembrelapp.h"

int main(int argc, char **argv) { return RunTembrel(argc, argv); }
