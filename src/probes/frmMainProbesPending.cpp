// replaced by the probe handlers of frmMain (delete this file when they land)
#include "shell/frmMain.h"

void frmMain::Command1_Click() { }
void frmMain::Command2_Click() { }
void frmMain::Command3_Click() { }
void frmMain::Command4_Click() { }
void frmMain::Command5_Click() { }
void frmMain::Command6_Click() { }
void frmMain::Command7_Click() { }
void frmMain::Command8_Click() { }
