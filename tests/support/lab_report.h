// What "&Copy" puts on the clipboard once the scan of the lab machine has finished: the
// report as a person pastes it, for the window tests and the end-to-end test alike.
#pragma once

constexpr char kLabClipboardReport[] =
    "Drive   Drv No  Drive Name                      Offset      \n"
    "C:      0       KESTREL KD4000-512E             2048        \n"
    "D:      0       KESTREL KD4000-512E             63          \n"
    "E:      1       KESTREL KD2000-SHIFT            63          \n"
    "F:      2       ORMOLU OM500 CLASSIC            2095        \n"
    "G:      3       KESTREL KD1000-512E             4080        \n"
    "H:      4       VITRELLE PORTA-DISK 2T          2048        \n"
    "L:      5       NVMe VOLANTE VX2 1TB            2048        \n"
    "M:      5       NVMe VOLANTE VX2 1TB            1026047     \n"
    "N:      6       KESTREL KD8000-512E             5000000000  \n"
    "O:      6       KESTREL KD8000-512E             2048        \n"
    "P:      7       ORMOLU OM1000 CLASSIC           63          \n"
    "Q:      8       KESTREL KD2000-512E             63          \n";
