// quillfen-cli: the Quillfen engine from the shell.
#include <iostream>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
    return quillfen::cli::Run(argc, argv);
}
