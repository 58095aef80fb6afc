// expbord-fw: loads a raw firmware image into the board from the shell, with
// the same download the windows' firmware command uses.
#include "unitexpbordlib.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void usage(FILE* out)
{
    std::fputs("Gebruik: expbord-fw [--board N] IMAGE\n"
               "\n"
               "Laadt het firmwarebestand IMAGE (ruwe inhoud van het 8051-geheugen vanaf\n"
               "adres 0, meestal een .bix-bestand) in het experimenteerbord \\\\.\\ezusb-N\n"
               "(standaard bord 0): de processor wordt in reset gehouden, het beeld wordt\n"
               "vanaf adres 0x0000 geschreven en de reset wordt weer opgeheven.\n"
               "\n"
               "  --board N   bordnummer (standaard 0)\n"
               "  --help      deze tekst\n"
               "\n"
               "Het apparaat wordt gezocht in $EXPBORD_DEVICE_DIR, anders in\n"
               "$XDG_RUNTIME_DIR/expbord, anders in /tmp/expbord-<uid>.\n"
               "Afsluitcode: 0 gelukt, 1 mislukt, 2 verkeerd gebruik.\n",
               out);
}

} // namespace

int main(int argc, char** argv)
{
    std::string board = "0";
    const char* image = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            usage(stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--board")) {
            if (++i == argc || !*argv[i]) {
                usage(stderr);
                return 2;
            }
            board = argv[i];
        } else if (!std::strncmp(argv[i], "--board=", 8) && argv[i][8]) {
            board = argv[i] + 8;
        } else if (argv[i][0] == '-' && argv[i][1] && !image) {
            std::fprintf(stderr, "expbord-fw: onbekende optie %s\n", argv[i]);
            usage(stderr);
            return 2;
        } else if (!image) {
            image = argv[i];
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (!image) {
        usage(stderr);
        return 2;
    }

    const std::string devicePath = "\\\\.\\ezusb-" + board;
    BoardHandle device = openBoard(devicePath.c_str());
    if (device == INVALID_HANDLE_VALUE) {
        std::fputs("Het openen van de VEK driver is mislukt!\n", stderr);
        return 1;
    }
    const bool ok = downloadFirmware(device, image);
    closeBoard(device);
    if (!ok) {
        std::fprintf(stderr,
                     "Downloaden van firmware \"%s\" naar het experimenteerbord is mislukt!\n",
                     image);
        return 1;
    }
    return 0;
}
