// files/FileChoosers.cpp: file types as name filters and the open dialogs.
#include "files/FileChoosers.h"

#include "platform/core/UserInteraction.h"

namespace {

constexpr uint32_t FourCC(const char (&code)[5])
{
    return static_cast<uint32_t>(static_cast<unsigned char>(code[0])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(code[1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(code[2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(code[3]));
}

struct TypeFilter {
    uint32_t type;
    const char* filter;
};

// MacPaint, QuickDraw GX and QuickTime image files have no reader here; they
// are offered all the same and fail like any unreadable file.
const TypeFilter kFilters[] = {
    {FourCC("MooV"), "Movies (*.mov *.qt *.avi *.mp4 *.m4v *.mkv *.ser)"},
    {FourCC("PICT"), "PICT pictures (*.pict *.pct *.pic)"},
    {FourCC("GIFf"), "GIF pictures (*.gif)"},
    {FourCC("PNGf"), "PNG pictures (*.png)"},
    {FourCC("TIFF"), "TIFF pictures (*.tif *.tiff)"},
    {FourCC("8BPS"), "Photoshop pictures (*.psd)"},
    {FourCC(".SGI"), "SGI pictures (*.sgi *.rgb *.bw)"},
    {FourCC("BMPf"), "BMP pictures (*.bmp)"},
    {FourCC("BMP "), "BMP pictures (*.bmp)"},
    {FourCC("JPEG"), "JPEG pictures (*.jpg *.jpeg)"},
    {FourCC("PNTG"), "MacPaint pictures (*.pntg *.mac)"},
    {FourCC("TPIC"), "Targa pictures (*.tga)"},
    {FourCC("qdgx"), "QuickDraw GX pictures (*.qdgx)"},
    {FourCC("qtif"), "QuickTime pictures (*.qtif *.qti)"},
};

} // namespace

const uint32_t kPictureAndMovieTypes[15] = {
    FourCC("MooV"), FourCC("PICT"), FourCC("GIFf"), FourCC("PNGf"), FourCC("TIFF"),
    FourCC("8BPS"), FourCC(".SGI"), FourCC("BMPf"), FourCC("BMP "), FourCC("JPEG"),
    FourCC("JPEG"), FourCC("PNTG"), FourCC("TPIC"), FourCC("qdgx"), FourCC("qtif"),
};
const uint32_t kPictureTypes[14] = {
    FourCC("PICT"), FourCC("GIFf"), FourCC("PNGf"), FourCC("TIFF"), FourCC("8BPS"), FourCC(".SGI"), FourCC("BMPf"),
    FourCC("BMP "), FourCC("JPEG"), FourCC("JPEG"), FourCC("PNTG"), FourCC("TPIC"), FourCC("qdgx"), FourCC("qtif"),
};

std::vector<std::string> NameFiltersForTypes(int numTypes, const uint32_t* types)
{
    std::vector<std::string> filters;
    for (int i = 0; types && i < numTypes; ++i)
        for (const TypeFilter& f : kFilters)
            if (f.type == types[i]) {
                bool seen = false;
                for (const std::string& s : filters)
                    seen = seen || s == f.filter;
                if (!seen)
                    filters.emplace_back(f.filter);
                break;
            }
    filters.emplace_back("All files (*)");
    return filters;
}

std::vector<std::filesystem::path> ChoosePicturesAndMovies()
{
    std::vector<std::filesystem::path> files;
    for (const std::string& path :
         ChooseFilesToOpen("Open Pictures and Movies", NameFiltersForTypes(15, kPictureAndMovieTypes)))
        if (!path.empty())
            files.emplace_back(path);
    return files;
}

int GetOneFileWithPreview(int numTypes, const uint32_t* types, std::filesystem::path* file)
{
    if (!file)
        return kParamErr;
    const std::string chosen = ChooseFileToOpen("Open", NameFiltersForTypes(numTypes, types));
    if (chosen.empty())
        return kUserCanceledErr;
    *file = chosen;
    return kNoErr;
}
