#include "app/EntryPoint.h"

int main(int argc, char* argv[])
{
    EntryPoint entryPoint;
    return entryPoint.run(argc, argv);
}
