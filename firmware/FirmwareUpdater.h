#pragma once
// The object the main dialog owns: the firmware image, the controller link
// and the progress of a download.

#include <atomic>
#include <cstdint>

#include "device/HidDevice.h"
#include "firmware/FirmwareImage.h"

class CByteSource;
class CHexLineObserver;

class CFirmwareUpdater {
public:
    CFirmwareUpdater();
    virtual ~CFirmwareUpdater();
    CFirmwareUpdater(const CFirmwareUpdater&) = delete;
    CFirmwareUpdater& operator=(const CFirmwareUpdater&) = delete;

    // 1 when the file was opened and read (whatever it held), 0 when it did not
    // open; then nothing changes. A read error throws CFileException and also
    // changes nothing.
    int LoadHexFile(const char* path);
    // Why the last LoadHexFile that returned 0 could not open its file: a code
    // for SysErrorText.
    int OpenError() const { return m_openError; }
    // The same reading from any source of bytes (a file, or a test's own);
    // `observer`, if given, sees every line on the way.
    int LoadHex(CByteSource& source, CHexLineObserver* observer = nullptr);
    // Takes the image another updater loaded (with its flags), to send one
    // file to several controllers at once.
    void CopyImageFrom(const CFirmwareUpdater& source);
    int ComputeChecksum() const;
    int IsHexLoaded() const { return m_loaded; }
    // 1 when the last file loaded stored at least one byte in the image. An
    // image that no record wrote is all 0xFF: sending it would erase the
    // controller, so the updates refuse it.
    int HasData() const { return m_hasData; }

    // The controller (vendor 0x0E8F, product 0x310D), and the download of the image to it.
    int OpenController();
    int IsControllerOpen() const;
    void CloseController();
    int Download();
    std::int32_t GetProgress() const { return m_progress.load(std::memory_order_relaxed); }
    // The counter's value just before the last Download set it to the end:
    // how far a failed transfer came.
    std::int32_t GetProgressReached() const { return m_reached; }
    // Why the last Download failed: its failed write's error (DownloadErrorText words it).
    const SysError& DownloadError() const { return m_downloadError; }

    const std::uint8_t* Image() const { return m_image; }
    CHidDevice& Device() { return m_device; }

private:
    CHidDevice m_device;
    std::uint8_t* m_image;
    std::atomic<std::int32_t> m_progress;  // read by the UI thread while a download writes it
    std::int32_t m_loaded;
    std::int32_t m_hasData = 0;
    std::int32_t m_reached = 0;
    SysError m_downloadError;
    int m_openError = 0;
};
