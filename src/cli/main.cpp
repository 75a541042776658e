#include "cli/driver.h"

int main(int argc, char** argv) { return quenlo::RunProgram(argc, argv); }
