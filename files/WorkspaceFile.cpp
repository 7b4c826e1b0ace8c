// files/WorkspaceFile.cpp: whole workspace files read with every size checked
// first, and written through a temporary file renamed over the old one.
#include "files/WorkspaceFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "files/ReplacingSave.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/PictCodec.h"
#include "platform/core/RegularFile.h"

namespace {

std::atomic<int64_t> sFailAfterBytes{-1};

// The smallest picture block a record can hold: its count and a picture's
// size field and frame.
constexpr uint64_t kMinPictureBlock = kWorkspaceCountBytes + 10;
// Writes are gathered into blocks of this size.
constexpr std::size_t kWriteBufferBytes = std::size_t{1} << 20;

// A file read front to back; every read is checked against the length the
// file had when it was opened.
class FileReader {
public:
    explicit FileReader(const std::filesystem::path& path)
    {
        mFd = OpenRegularFileForReading(path.c_str());
        struct stat info {};
        if (mFd >= 0 && ::fstat(mFd, &info) == 0 && S_ISREG(info.st_mode))
            mLength = static_cast<uint64_t>(info.st_size);
        else
            Close();
    }
    ~FileReader() { Close(); }
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    bool IsOpen() const { return mFd >= 0; }
    uint64_t Left() const { return mLength - mPos; }

    // False when fewer than n bytes are left or the read fails (the file shrank).
    bool Read(void* to, uint64_t n)
    {
        if (n > Left())
            return false;
        auto* out = static_cast<uint8_t*>(to);
        while (n > 0) {
            const ssize_t got = ::read(mFd, out, static_cast<std::size_t>(std::min<uint64_t>(n, 1u << 30)));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            out += got;
            n -= static_cast<uint64_t>(got);
            mPos += static_cast<uint64_t>(got);
        }
        return true;
    }

private:
    void Close()
    {
        if (mFd >= 0)
            ::close(mFd);
        mFd = -1;
    }
    int mFd = -1;
    uint64_t mLength = 0;
    uint64_t mPos = 0;
};

// Bytes a pixel block of w × h takes at least.
uint64_t MinBlockBytes(bool asPictures, int width, int height)
{
    return asPictures ? kMinPictureBlock : static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3;
}

// Reads one pixel block of width × height into an image; `reserve` bytes
// must stay after it for what the header promises to follow.
WorkspaceReadStatus ReadPixelBlock(FileReader& in, bool asPictures, int width, int height, uint64_t reserve,
                                   std::vector<uint8_t>& buffer, std::unique_ptr<GWorldWrapper>* image)
{
    uint64_t size = MinBlockBytes(false, width, height);
    if (asPictures) {
        uint8_t count[kWorkspaceCountBytes];
        if (!in.Read(count, sizeof count))
            return WorkspaceReadStatus::damaged;
        const int32_t n = GetInt32(count);
        if (n < 0)
            return WorkspaceReadStatus::damaged;
        size = static_cast<uint64_t>(n);
    }
    if (size > in.Left() || in.Left() - size < reserve)
        return WorkspaceReadStatus::damaged;
    buffer.resize(static_cast<std::size_t>(size)); // at most the file's length
    if (!in.Read(buffer.data(), size))
        return WorkspaceReadStatus::damaged;
    *image = DecodePixelBlock(buffer.data(), buffer.size(), asPictures, width, height);
    return *image ? WorkspaceReadStatus::ok : WorkspaceReadStatus::damaged;
}

WorkspaceReadStatus ReadCalibrationFrame(FileReader& in, bool asPictures, uint64_t reserve,
                                         std::vector<uint8_t>& buffer, std::unique_ptr<GWorldWrapper>* image)
{
    uint8_t size[kWorkspaceFrameSizeBytes];
    if (!in.Read(size, sizeof size))
        return WorkspaceReadStatus::damaged;
    const int width = GetInt16(size), height = GetInt16(size + 2);
    // A picture is never wider than a picture can record; its block's length
    // bounds the rest (the decoder checks the rows fit before allocating).
    if (width < 1 || height < 1 || (asPictures && width > kMaxPictWidth))
        return WorkspaceReadStatus::damaged;
    return ReadPixelBlock(in, asPictures, width, height, reserve, buffer, image);
}

WorkspaceReadStatus ReadAll(FileReader& in, WorkspaceContents& out, const WorkspaceClipSink& sink,
                            const WorkspaceProgress& progress)
{
    uint8_t head[kWorkspaceHeaderBytes];
    if (in.Left() >= 4 && in.Left() < kWorkspaceHeaderBytes) {
        // Too short for a header: still tell another kind of file by its start.
        uint8_t marker[4];
        if (!in.Read(marker, sizeof marker))
            return WorkspaceReadStatus::cannotOpen;
        return GetInt32(marker) == kWorkspaceMarker ? WorkspaceReadStatus::damaged : WorkspaceReadStatus::wrongMarker;
    }
    if (!in.Read(head, sizeof head))
        return WorkspaceReadStatus::damaged;
    switch (DecodeWorkspaceHeader(head, &out.header)) {
    case WorkspaceHeaderStatus::ok:
        break;
    case WorkspaceHeaderStatus::wrongMarker:
        return WorkspaceReadStatus::wrongMarker;
    case WorkspaceHeaderStatus::damaged:
        return WorkspaceReadStatus::damaged;
    }
    const WorkspaceHeader& h = out.header;
    const uint64_t pixels = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height);
    // What must be there before any clip: the mask and the calibration
    // frames. The records may stop short (a writer that met a full disk).
    const uint64_t recordMin = kWorkspaceClipRecordBytes + MinBlockBytes(h.asPictures, h.width, h.height);
    const uint64_t frameMin = kWorkspaceFrameSizeBytes + (h.asPictures ? kMinPictureBlock : 3);
    const uint64_t flatMin = h.hasFlat ? frameMin : 0;
    const uint64_t darkMin = h.hasDark ? frameMin : 0;
    if (pixels > in.Left() || in.Left() - pixels < darkMin + flatMin)
        return WorkspaceReadStatus::damaged;
    // The new document is built while the open one is still there: what it
    // keeps in memory whatever goes to temporary files (the mask, the
    // calibration frames at the clips' size at least, one clip's two images
    // and a pixel block being read) must fit in what is free.
    const uint64_t image = pixels * 4;
    const int frames = (h.hasDark ? 1 : 0) + (h.hasFlat ? 1 : 0);
    const uint64_t resident = pixels + image * static_cast<uint64_t>(frames + 3);
    const int64_t free = FreeMem();
    if (free < 0 || resident > static_cast<uint64_t>(free))
        return WorkspaceReadStatus::outOfMemory;

    out.mask.resize(static_cast<std::size_t>(pixels));
    if (!in.Read(out.mask.data(), pixels))
        return WorkspaceReadStatus::damaged;
    for (uint8_t& m : out.mask)
        m = m != 0 ? 1 : 0;
    // The bar counts the records the file can hold at most, so an absurd N
    // in a short file neither overflows it nor leaves it short of its end.
    const uint64_t fitting = (in.Left() - darkMin - flatMin) / recordMin;
    const int records = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(h.numClips), fitting));
    int step = 0;
    const int total = records + frames + 1;
    if (progress)
        progress(step, total);

    std::vector<uint8_t> buffer;
    if (h.hasDark) {
        const WorkspaceReadStatus s = ReadCalibrationFrame(in, h.asPictures, flatMin, buffer, &out.dark);
        if (s != WorkspaceReadStatus::ok)
            return s;
        if (progress)
            progress(++step, total);
    }
    if (h.hasFlat) {
        const WorkspaceReadStatus s = ReadCalibrationFrame(in, h.asPictures, 0, buffer, &out.flat);
        if (s != WorkspaceReadStatus::ok)
            return s;
        if (progress)
            progress(++step, total);
    }
    // A record that is cut short or whose block does not decode ends the
    // file: the clips before it are kept.
    out.clipsRead = 0;
    for (int32_t i = 0; i < h.numClips; ++i) {
        uint8_t bytes[kWorkspaceClipRecordBytes];
        if (!in.Read(bytes, sizeof bytes))
            return WorkspaceReadStatus::endedEarly;
        WorkspaceClipRecord record;
        DecodeWorkspaceClipRecord(bytes, &record);
        std::unique_ptr<GWorldWrapper> clip;
        if (ReadPixelBlock(in, h.asPictures, h.width, h.height, 0, buffer, &clip) != WorkspaceReadStatus::ok)
            return WorkspaceReadStatus::endedEarly;
        sink(record, std::move(clip));
        ++out.clipsRead;
        if (progress)
            progress(std::min(++step, total), total);
    }
    return WorkspaceReadStatus::ok;
}

// Gathers bytes into large writes to a new file; the first failure sticks.
class FileWriter {
public:
    explicit FileWriter(const std::filesystem::path& path)
    {
        mFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        mOk = mFd >= 0;
        if (mOk)
            mBuffer.reserve(kWriteBufferBytes);
    }
    ~FileWriter()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    bool Put(const uint8_t* bytes, std::size_t n)
    {
        if (!mOk)
            return false;
        if (mBuffer.size() + n > kWriteBufferBytes && !Flush())
            return false;
        if (n >= kWriteBufferBytes)
            return WriteOut(bytes, n);
        mBuffer.insert(mBuffer.end(), bytes, bytes + n);
        return true;
    }
    // Everything on the disk and the file closed; false on any failure so far.
    bool Finish()
    {
        if (!Flush() || ::fsync(mFd) != 0)
            mOk = false;
        const bool closed = ::close(mFd) == 0;
        mFd = -1;
        return mOk && closed;
    }

private:
    bool Flush()
    {
        const bool ok = WriteOut(mBuffer.data(), mBuffer.size());
        mBuffer.clear();
        return ok;
    }
    bool WriteOut(const uint8_t* bytes, std::size_t n)
    {
        if (!mOk)
            return false;
        const int64_t failAfter = sFailAfterBytes.load();
        if (failAfter >= 0 && mWritten + static_cast<int64_t>(n) > failAfter) {
            sFailAfterBytes.store(-1);
            return mOk = false; // as a full disk: the data does not all go out
        }
        while (n > 0) {
            const ssize_t done = ::write(mFd, bytes, n);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return mOk = false;
            bytes += done;
            n -= static_cast<std::size_t>(done);
            mWritten += done;
        }
        return true;
    }

    int mFd = -1;
    bool mOk = false;
    int64_t mWritten = 0;
    std::vector<uint8_t> mBuffer;
};

bool FitsFrameSize(const GWorldWrapper& image)
{
    return image.Width() >= 1 && image.Width() <= kMaxWorkspaceSide && image.Height() >= 1 &&
           image.Height() <= kMaxWorkspaceSide;
}

WorkspaceWriteStatus WriteAll(FileWriter& out, const WorkspaceWriteRequest& request, const WorkspaceProgress& progress)
{
    WorkspaceHeader header = request.header;
    header.hasDark = request.dark != nullptr;
    header.hasFlat = request.flat != nullptr;
    uint8_t head[kWorkspaceHeaderBytes];
    EncodeWorkspaceHeader(header, head);
    if (!out.Put(head, sizeof head))
        return WorkspaceWriteStatus::writeFailed;
    const std::size_t pixels = static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.height);
    std::vector<uint8_t> block;
    if (request.mask) {
        if (!out.Put(request.mask, pixels))
            return WorkspaceWriteStatus::writeFailed;
    } else {
        block.assign(pixels, 0);
        if (!out.Put(block.data(), block.size()))
            return WorkspaceWriteStatus::writeFailed;
    }
    int step = 0;
    const int total = header.numClips + (header.hasDark ? 1 : 0) + (header.hasFlat ? 1 : 0) + 1;
    if (progress)
        progress(step, total);

    for (const GWorldWrapper* frame : {request.dark, request.flat}) {
        if (!frame)
            continue;
        if (!FitsFrameSize(*frame))
            return WorkspaceWriteStatus::tooWide;
        block.assign(kWorkspaceFrameSizeBytes, 0);
        PutInt16(block.data(), static_cast<int16_t>(frame->Width()));
        PutInt16(block.data() + 2, static_cast<int16_t>(frame->Height()));
        if (!AppendPixelBlock(*frame, header.asPictures, block))
            return WorkspaceWriteStatus::tooWide;
        if (!out.Put(block.data(), block.size()))
            return WorkspaceWriteStatus::writeFailed;
        if (progress)
            progress(++step, total);
    }

    for (int32_t i = 0; i < header.numClips; ++i) {
        WorkspaceClipRecord record;
        WorkspaceWriteStatus status = WorkspaceWriteStatus::ok;
        const bool had = request.clips && request.clips(i, record, [&](const GWorldWrapper& image) {
            if (image.Width() != header.width || image.Height() != header.height) {
                status = WorkspaceWriteStatus::clipUnavailable; // a clip that does not fit its document
                return false;
            }
            block.assign(kWorkspaceClipRecordBytes, 0);
            EncodeWorkspaceClipRecord(record, block.data());
            if (!AppendPixelBlock(image, header.asPictures, block)) {
                status = WorkspaceWriteStatus::tooWide;
                return false;
            }
            if (!out.Put(block.data(), block.size())) {
                status = WorkspaceWriteStatus::writeFailed;
                return false;
            }
            return true;
        });
        if (status != WorkspaceWriteStatus::ok)
            return status;
        if (!had)
            return WorkspaceWriteStatus::clipUnavailable;
        if (progress)
            progress(++step, total);
    }
    return WorkspaceWriteStatus::ok;
}

} // namespace

WorkspaceReadStatus ReadWorkspaceFile(const std::filesystem::path& path, WorkspaceContents* contents,
                                      const WorkspaceClipSink& sink, const WorkspaceProgress& progress)
{
    FileReader in(path);
    if (!in.IsOpen())
        return WorkspaceReadStatus::cannotOpen;
    WorkspaceContents read;
    WorkspaceReadStatus status;
    try {
        status = ReadAll(in, read, sink, progress);
        if (status != WorkspaceReadStatus::ok && status != WorkspaceReadStatus::endedEarly)
            return status;
    } catch (const std::bad_alloc&) {
        return WorkspaceReadStatus::outOfMemory;
    }
    *contents = std::move(read);
    return status;
}

WorkspaceWriteStatus WriteWorkspaceFile(const std::filesystem::path& path, const WorkspaceWriteRequest& request,
                                        const WorkspaceProgress& progress)
{
    const WorkspaceHeader& h = request.header;
    if (h.width < 1 || h.width > kMaxWorkspaceSide || h.height < 1 || h.height > kMaxWorkspaceSide || h.numClips < 0)
        return WorkspaceWriteStatus::clipUnavailable;
    PendingReplacement save(path);
    WorkspaceWriteStatus status;
    {
        FileWriter out(save.TempPath());
        try {
            status = WriteAll(out, request, progress);
        } catch (const std::bad_alloc&) {
            status = WorkspaceWriteStatus::outOfMemory;
        }
        if (!out.Finish() && status == WorkspaceWriteStatus::ok)
            status = WorkspaceWriteStatus::writeFailed;
    }
    if (status == WorkspaceWriteStatus::ok && !save.Commit())
        status = WorkspaceWriteStatus::writeFailed;
    return status; // without a commit the temporary file goes with `save`
}

void FailWorkspaceWriteAfterBytesForTesting(int64_t bytes)
{
    sFailAfterBytes.store(bytes);
}
