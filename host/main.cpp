// tav: the command-line loader.
#include <cstdio>
#include <cstring>
#include <string>

#include "Tav_acs.h"
#include "host/console.h"

int main(int argc, char** argv) {
    return tavhost::run(argc, argv);
}
