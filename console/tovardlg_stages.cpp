#include "console/tovardlg.h"

// Stand-in until the network transfer is wired in.
void CTovarDlg::NetDownload() {}
