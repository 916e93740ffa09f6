// What the flash download procedure needs from the window it runs in, and how
// each program shows a download. The procedure knows no widgets: it reaches
// its window only through DownloadWindow, which each program implements on its
// own controls and tests implement directly.
#pragma once

#include <string_view>

namespace kdm::flash {

class DownloadWindow {
public:
    virtual ~DownloadWindow() = default;

    // Texts are UTF-8; each replaces the previous one on its line.
    virtual void setStatus(std::string_view text) = 0;
    virtual void setVerdict(std::string_view text) = 0;

    // Width of the progress bar in twips, 0 to 5000.
    virtual void setProgress(int widthTwips) = 0;

    // Waits `ticks` ticks of the main window's timer, processing window events.
    virtual void pause(int ticks) = 0;

    // Processes pending window events once, without waiting. Handlers of
    // other windows may run inside it.
    virtual void processEvents() = 0;
};

// The two programs show the same procedure differently.
struct DownloadStyle {
    enum class Progress {
        Bar,            // the progress bar, every 16 data reports
        ByteOffsetText, // "<offset in hex>byte" in the status line before every data report
    };
    Progress progress = Progress::Bar;
    bool pathInStreamText = true;   // "<path>  Download", or "Download" alone
    std::string_view checksumLabel; // start of the success verdict
};

extern const DownloadStyle UpdateToolStyle; // kdmupdate
extern const DownloadStyle VideoToolStyle;  // kdmtool's command-file download

} // namespace kdm::flash
