// fuzz/calibration.cpp: Open Dark Frame and Open Flat Frame on a file of
// any bytes, for a document of 64 × 48: the probe, the wrong-size question
// (answered OK, so that other sizes are stretched) and the decode.
#include <cstddef>
#include <cstdint>

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include "engine/CalibrationFrames.h"
#include "shell/ImageDim.h"
#include "files/CalibrationFrameFiles.h"
#include "fuzz/FuzzInput.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/Controls.h"
#include "platform/qt/ModalLoop.h"

namespace {

// Clicks OK in every modal window as soon as it is shown.
class AnswerOK final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && window && window->isWindow() && window->isModal())
            QTimer::singleShot(0, window, [window] {
                auto* ok = qobject_cast<QAbstractButton*>(
                    GetControlByID(window, kControlSignature, kControlOK).Widget());
                if (ok)
                    ok->click();
            });
        return false;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartHeadlessQt();
    qApp->installEventFilter(new AnswerOK);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    gImageDim = MakeRect(0, 0, 48, 64);
    const bool flat = size > 0 && (data[size - 1] & 1);
    (void)LoadCalibrationFrameFile(flat ? CalibrationFrameKind::flat : CalibrationFrameKind::dark,
                                   WriteInputFile(data, size, "frame"));
    gDarkFrame.reset();
    gFlatFrame.reset();
    return 0;
}
