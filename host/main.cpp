// tav: the command-line loader.
#include "host/cli.h"

int main(int argc, char** argv) { return tavhost::run(argc, argv); }
