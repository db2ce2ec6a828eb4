#include "publish/options.h"

int main(int argc, char** argv) { return corvid::publish::run_command_line(argc, argv); }
