#pragma once
// The maker's published releases beside the page (firmware.json): a list
// above the dialog; a release chosen there is downloaded, checked against
// the catalogue's SHA-256 and loaded into the dialog as a chosen file. A site
// without a catalogue shows nothing of it.

class CUpdaterDlg;

// Looks for the catalogue, once. A release goes to the dialog that `current`
// gives at that moment (a page's "Salir" makes a new one).
void StartReleases(CUpdaterDlg* (*current)());
