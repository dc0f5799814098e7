// The organiser's entry.
#include "app/organiser.h"

int main(int argc, char** argv) { return tarvok::app::RunOrganiser(argc, argv); }
