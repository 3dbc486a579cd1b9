#include "app/TorvaneApp.h"

int main(int argc, char** argv) { return TorvaneMain(argc, argv); }
