// Ravik: the NC program viewer.
#include "viewer/RavikApp.h"

int main(int argc, char** argv) { return ravik::RunRavik(argc, argv); }
