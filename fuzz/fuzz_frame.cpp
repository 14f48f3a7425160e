// FrameReader fed the bytes in reads of a size the input chooses, as TCP may split them.
#include "expect.h"
#include <framework/data/frame.h>

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // A small maximum, so frames over it are reached as often as those under it.
    const qsizetype max = qsizetype(data[0]) * 4;
    const qsizetype readSize = 1 + data[1] % 16;
    const QByteArrayView input(data + 2, qsizetype(size - 2));

    fw::FrameReader reader(max);
    qsizetype fed = 0;
    qsizetype taken = 0;
    QByteArray frame;
    while (fed < input.size()) {
        const qsizetype n = std::min(readSize, input.size() - fed);
        reader.append(input.sliced(fed, n));
        fed += n;
        for (;;) {
            const fw::FrameReader::Status status = reader.next(&frame);
            if (status == fw::FrameReader::Status::NeedMore)
                break;
            if (status == fw::FrameReader::Status::TooLarge) {
                expect(reader.announcedLength() > max, "a frame within the maximum refused");
                return 0;
            }
            // Each frame is exactly the bytes after its header, in order: none lost or invented.
            expect(frame.size() == reader.announcedLength(), "frame length differs from its header");
            expect(fw::encodeFrame(frame) == input.sliced(taken, 4 + frame.size()), "frame differs from the bytes sent");
            taken += 4 + frame.size();
        }
        expect(reader.buffered() == fed - taken, "buffered bytes lost or invented");
    }
    return 0;
}
