// imaging/SpareImage.h: one image kept per thread for the operations that
// write a whole new image of the size of the one they change and then swap
// it in. The image's old pixels become the thread's spare, and the next such
// call of that size writes into them: no fresh mapping, no page faults, no
// copy of the old pixels.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/core/GWorldWrapper.h"

// Images whose pixels take fewer bytes than this are not kept: they come
// from the heap, which reuses their memory anyway. Larger ones are mappings
// of their own, fresh (and faulted in page by page) every time.
constexpr std::size_t kSpareImageMinBytes = std::size_t{128} << 10;

// An image of like's bounds, depth and colour table with unspecified pixel
// values, for a caller that writes every pixel before any is read: the
// calling thread's spare when it matches, otherwise a new one (a spare of
// another size is freed first). Out of memory: the out-of-memory alert
// (safe on any thread) and null. Any thread.
std::unique_ptr<GWorldWrapper> TakeSpareImage(const GWorldWrapper& like);

// Makes image the calling thread's spare when its pixels take at least
// kSpareImageMinBytes, freeing any spare it had; a smaller image (or null)
// is freed and the spare left as it is. The spare lives until it is taken,
// replaced, released or the thread ends. Any thread.
void KeepSpareImage(std::unique_ptr<GWorldWrapper> image);

// Frees the calling thread's spare, if any: where the program gives back
// the memory of its scratch images, and when memory runs low. Any thread.
void ReleaseSpareImage();

// The pixel bytes of the calling thread's spare (0 without one), for tests.
std::size_t SpareImageBytesForTesting();
