// halvetrop-thumbnailer: makes thumbnails of card files for the application, which never decodes
// card bytes itself. A malformed file may crash or hang this process; the application then kills
// it and starts another. Requests come on standard input, replies go to standard output.
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "thumbnail/Decode.h"
#include "thumbnail/Protocol.h"

using namespace halvetrop::thumbs;

namespace {

bool writeAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Decoders get a bounded address space: a file that claims a huge picture fails instead of
    // taking the machine's memory.
    const rlim_t limit = rlim_t(1536) << 20;
    const rlimit bound{limit, limit};
    setrlimit(RLIMIT_AS, &bound);
    QImageReader::setAllocationLimit(256);
    QCoreApplication app(argc, argv);

    std::string buffer;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        buffer.append(chunk, size_t(n));
        for (;;) {
            const Read<Request> r = readRequest(buffer);
            if (r.state == Read<Request>::State::error) return 2;
            if (r.state == Read<Request>::State::needMore) break;
            buffer.erase(0, r.used);
            Reply reply;
            reply.id = r.frame.id;
            halvetrop::AccessTimesTouched touched;
            const Picture picture = decode(r.frame.path, r.frame.side, touched);
            const QImage& image = picture.image;
            reply.accessTimeTouched = touched.any();
            if (!image.isNull()) {
                reply.ok = true;
                reply.range = picture.range;
                reply.width = image.width();
                reply.height = image.height();
                for (int y = 0; y < image.height(); ++y)
                    reply.pixels.append(reinterpret_cast<const char*>(image.constScanLine(y)),
                                        size_t(image.width()) * 4);
            }
            if (!writeAll(encode(reply))) return 0;
        }
    }
}
