#include "cli/options.h"
#include "daemon/launch.h"

int main(int argc, char** argv)
{
    Options options;
    int const status = parse_options(argc, argv, options);
    if (status != go_on)
        return status;
    launch_daemons(argv, argc, options.flush_delay, options.sync_delay);
}
