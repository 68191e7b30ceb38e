#include "ui/startup.h"

int main(int argc, char** argv)
{
    return torvale::runEditor(argc, argv);
}
