#include "console/tovardlg.h"

// Stand-ins until the serial console and the network transfer are wired in.
void CTovarDlg::ConsoleHandshake() {}

void CTovarDlg::NetDownload() {}
