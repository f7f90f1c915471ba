#pragma once
// The maker's published releases beside the page (firmware.json): the
// release chooser's window below the dialog; a release chosen there is
// downloaded, checked against the catalogue's SHA-256 and loaded into the
// dialog straight from memory. A site without a catalogue shows nothing of it.

class CUpdaterDlg;

// Looks for the catalogue, once. A release goes to the dialog that `current`
// gives at that moment (a page's "Salir" makes a new one).
void StartReleases(CUpdaterDlg* (*current)());
// The update's lock-out of `dialog` takes in the chooser too, once there is one.
void LockReleasesWith(CUpdaterDlg& dialog);
// The page starts again ("Salir"): a release on its way is not loaded.
void CancelReleaseDownload();
