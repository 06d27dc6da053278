// The picture window: a modal window that shows a bitmap one pixel per device pixel, with a line
// of text under it.
#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/raster.h"
#include "toolkit/requester.h"
#include "toolkit/requester_dialog.h"
#include "toolkit/toolkit_state.h"

namespace {

// The bitmap as an image of 32-bit rows from the top (blue, green, red, spare: RGB32).
QImage ImageOf(const raster::Bitmap& bm) {
    QImage image(bm.width, bm.height, QImage::Format_RGB32);
    if (image.isNull()) return image;
    for (int y = 0; y < bm.height; ++y) {
        const uint8_t* from = bm.Row(y);
        auto* to = reinterpret_cast<uint32_t*>(image.scanLine(y));
        if (bm.bpp == 32) {
            std::memcpy(to, from, static_cast<size_t>(bm.width) * 4);
        } else if (bm.bpp == 24) {
            for (int x = 0; x < bm.width; ++x, from += 3)
                to[x] = 0xff000000u | from[2] << 16 | from[1] << 8 | from[0];
        } else {
            for (int x = 0; x < bm.width; ++x) {
                const uint32_t c = raster::GetPixel(bm, x, y);  // red in the low byte
                to[x] = 0xff000000u | (c & 0xff) << 16 | (c & 0xff00) | (c >> 16 & 0xff);
            }
        }
    }
    return image;
}

// Paints the image at its own size in device pixels.
class PictureView : public QWidget {
public:
    PictureView(QImage image, QWidget* parent) : QWidget(parent), image_(std::move(image)) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    QSize sizeHint() const override {
        const double ratio = devicePixelRatioF();
        return QSize(static_cast<int>(std::ceil(image_.width() / ratio)),
                     static_cast<int>(std::ceil(image_.height() / ratio)));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        image_.setDevicePixelRatio(devicePixelRatioF());
        p.drawImage(QPoint(0, 0), image_);
    }

private:
    QImage image_;
};

}  // namespace

void ShowPicture(const char* title, const raster::Bitmap& picture, const char* caption) {
    const std::string titleText = title ? title : "";
    const std::string captionText = caption ? caption : "";
    if (g_toolkit.script) {
        g_toolkit.script->Picture(titleText, picture, captionText);
        return;
    }
    if (!RequesterCanShow()) return;
    QImage image = ImageOf(picture);
    if (image.isNull()) return;

    QDialog dialog(RequesterOwner());
    dialog.setWindowTitle(QString::fromStdString(titleText));
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(0, 0, 0, 4);
    auto* view = new PictureView(std::move(image), &dialog);
    layout->addWidget(view, 0, Qt::AlignCenter);
    auto* line = new QLabel(QString::fromStdString(captionText), &dialog);
    line->setAlignment(Qt::AlignCenter);
    layout->addWidget(line);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    RunRequester(dialog);
}
