#pragma once
// Files a camera card holds, made at test time: JPEGs, TIFF-based RAW files with a sensor-data or
// tiny first image and a larger JPEG preview placed where cameras put it, HEIC pictures and short
// videos (where this machine's libraries can encode them).
#include <QByteArray>
#include <QColor>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

namespace halvetrop::test {

QByteArray jpegOf(QSize size, QColor color, int quality = 90);

struct RawSpec {
    QSize first{64, 48};
    bool sensorData = true;  // CFA samples, else an RGB picture of colour `firstColor`
    QColor firstColor = Qt::red;
    int orientation = 1;
    enum class Where { subIfd, ifd1, nikonMakerNote, none } where = Where::subIfd;
    QSize previewSize{320, 240};
    QColor previewColor = Qt::green;
    bool smallThumbnail = false;   // a red 160x120 JPEG in IFD1 beside the preview
    bool chainLoops = false;       // the last IFD of the chain points back at IFD0
    bool previewCutShort = false;  // the preview's length runs past the end of the file
};
// A little-endian TIFF laid out as DNG, NEF and ARW files are.
QByteArray rawFile(const RawSpec& spec);

// A Fujifilm RAF: its header, a JPEG of that size and colour where the header points (none when
// the size is empty), then sensor data LibRaw cannot make sense of, as of a camera newer than it.
QByteArray rafFile(QSize preview, QColor color);

// A Canon CR3: the 160x120 red thumbnail in its movie box (when `thumbnail`), a preview of that
// size and colour in a box of its own (none when the size is empty), and the camera's orientation
// in its TIFF structure; then sensor data.
QByteArray cr3File(bool thumbnail, QSize preview, QColor color, int orientation = 1);

// A HEIC picture of one colour; empty with `why` set when libheif has no HEVC encoder here.
QByteArray heicOf(QSize size, QColor color, QString* why);

// How a video's Y'CbCr stands for its colours: the colour matrix and the range, said in the file
// unless the matrix is left unset (the samples are then BT.601's).
struct VideoColour {
    enum class Matrix { unset, bt601, bt709 } matrix = Matrix::unset;
    bool fullRange = false;
};

// An MP4 (MPEG-4 part 2) of `seconds` of one colour at 10 frames a second, written to `path`, its
// right half in `right` when that is valid; false with `why` set when libavcodec cannot encode it
// here.
bool writeVideo(const QString& path, QSize size, QColor color, double seconds, QString* why,
                VideoColour colour = {}, QColor right = {});

// The Y'CbCr in the middle of a video's first frame as libavcodec decodes it, with the colour
// matrix and range the file says; none, with `why` set, when it cannot be decoded to 4:2:0 planes.
struct DecodedSample {
    uint8_t y, cb, cr;
    VideoColour colour;
};
std::optional<DecodedSample> firstFrameMiddle(const QString& path, QString* why);

}  // namespace halvetrop::test
