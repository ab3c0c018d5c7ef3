#include "DibUtil.h"

#include "PlatformFacts.h"

#include <QColor>
#include <QImage>
#include <QPainter>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>

using tessor::plugin::PluginObject;
using tessor::plugin::Scaler;

namespace {

using Buffer = std::unique_ptr<std::uint8_t[]>;

// Zero-filled, as fresh pages are; nullptr when the size is refused or memory is short.
Buffer AllocatePixels(std::int64_t nRowBytes, std::int64_t nRows) {
    if (nRowBytes <= 0 || nRows <= 0 || nRowBytes > CDibUtil::kMaxBufferBytes / nRows)
        return nullptr;
    return Buffer(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(nRowBytes * nRows)]());
}

// Truncates toward zero; values beyond int come back as -1 so that size checks refuse them.
int TruncateToInt(double value) {
    if (!std::isfinite(value) || value >= 2147483648.0 || value <= -2147483649.0) return -1;
    return static_cast<int>(value);
}

// The scaler stays loaded for the whole call and is released on every way out.
struct ScalerLease {
    PluginObject* object = nullptr;
    ~ScalerLease() { CDibUtil::ReleaseClassObject(object); }
};

std::string ExecutableFolder() {
    char szPath[4096];
    const ssize_t n = readlink("/proc/self/exe", szPath, sizeof szPath - 1);
    if (n <= 0) return ".";
    szPath[n] = '\0';
    std::string strPath(szPath);
    const auto slash = strPath.find_last_of('/');
    return slash == std::string::npos ? "." : strPath.substr(0, slash);
}

}  // namespace

CDibUtil::CDibUtil() : m_pFacts(&PlatformFacts::System()) {}

CDibUtil::CDibUtil(const PlatformFacts& facts) : m_pFacts(&facts) {}

int CDibUtil::Fail(int nCode, const char* szText) {
    m_nLastError = nCode;
    m_strLastError = QString::fromLatin1(szText);
    return nCode;
}

void CDibUtil::CopyRowsBottomUp(const Bitmap& picture, std::uint8_t* pDib, int nDibRow) {
    const auto* pSrc = static_cast<const std::uint8_t*>(picture.bits);
    const std::size_t nCopy = static_cast<std::size_t>(std::min(picture.widthBytes, nDibRow));
    for (int r = 0; r < picture.height; ++r) {
        const std::uint8_t* pRow =
            pSrc + static_cast<std::size_t>(picture.height - 1 - r) * picture.widthBytes;
        std::memcpy(pDib + static_cast<std::size_t>(r) * nDibRow, pRow, nCopy);
    }
}

int CDibUtil::DIBShow(QPainter* pDC, const Bitmap* pBitmap, int nDestX, int nDestY, int nDestWidth,
                      int nDestHeight, int nSrcX, int nSrcY, int nSrcWidth, int nSrcHeight) {
    if (!pDC) return Fail(-1, "DIBShow wrong parameter!");
    // Sizes that would divide by zero or describe rows shorter than the pixels are refused
    // before anything is loaded; they would otherwise read outside the caller's buffer.
    if (!pBitmap || !pBitmap->bits || pBitmap->bitsPixel != 24 || pBitmap->width <= 0 ||
        pBitmap->height <= 0 ||
        pBitmap->widthBytes < 3 * static_cast<std::int64_t>(pBitmap->width) || nDestWidth <= 0 ||
        nDestHeight <= 0 || nSrcWidth <= 0 || nSrcHeight <= 0)
        return Fail(-2, "DIBShow wrong parameter!");

    ScalerLease lease;
    lease.object = LoadClassObject(kScaleRotLibrary);
    Scaler* pScaler = tessor::plugin::pluginCast<Scaler>(lease.object);
    if (!pScaler) return Fail(-2, "KvScaleRotDll.dll CreateSG3Class fail!");

    const float sx = static_cast<float>(nDestWidth) / static_cast<float>(nSrcWidth);
    const float sy = static_cast<float>(nDestHeight) / static_cast<float>(nSrcHeight);

    const Bitmap* pPicture = pBitmap;
    Bitmap work;
    Buffer workPixels;
    if (!(sx == 1.0f && sy == 1.0f)) {
        const int nTargetWidth = TruncateToInt(static_cast<float>(pBitmap->width) * sx);
        const int nTargetHeight = TruncateToInt(static_cast<float>(pBitmap->height) * sy);
        int nOutWidth = 0;
        int nOutHeight = 0;
        pScaler->setTarget(nTargetWidth, nTargetHeight, 0, &nOutWidth, &nOutHeight);

        work.type = 0;
        work.width = nOutWidth;
        work.height = nOutHeight;
        work.widthBytes = nOutWidth > 0 && nOutWidth < (1 << 29) ? WorkRowBytes(nOutWidth) : 0;
        work.planes = 1;
        work.bitsPixel = 24;
        workPixels = AllocatePixels(work.widthBytes, work.height);
        if (!workPixels) return Fail(-2, "DIBShow allocate memory fail!");
        work.bits = workPixels.get();
        if (!pScaler->process(pBitmap, &work)) return Fail(-2, "ProcessScaledRotate fail!");
        pPicture = &work;
    }

    const int nDibRow = DibRowBytes(pPicture->width);
    Buffer dibPixels = AllocatePixels(nDibRow, pPicture->height);
    if (!dibPixels) return Fail(-2, "DIBShow allocate memory fail!");
    CopyRowsBottomUp(*pPicture, dibPixels.get(), nDibRow);

    // The device picture is stored bottom row first, so source rows count from the bottom.
    const int xs = TruncateToInt(static_cast<float>(nSrcX) * sx);
    const int ys = pPicture->height - TruncateToInt(static_cast<float>(nSrcY) * sy) -
                   TruncateToInt(static_cast<float>(nSrcHeight) * sy);
    const bool bUnscaledCopy =
        static_cast<float>(nDestWidth) == static_cast<float>(nSrcWidth) * sx &&
        static_cast<double>(nDestHeight) == static_cast<double>(nSrcHeight) * sy;
    const int nSrcCopyWidth =
        bUnscaledCopy ? nDestWidth : TruncateToInt(static_cast<float>(nSrcWidth) * sx);
    const int nSrcCopyHeight =
        bUnscaledCopy ? nDestHeight : TruncateToInt(static_cast<float>(nSrcHeight) * sy);

    if (!pDC->isActive() || nSrcCopyWidth <= 0 || nSrcCopyHeight <= 0)
        return Fail(-2, "StretchDIBits fail!");
    const QImage dib(dibPixels.get(), pPicture->width, pPicture->height, nDibRow,
                     QImage::Format_BGR888);
    pDC->save();
    // Drawing the bottom-up rows through a vertical flip puts the first stored row at the
    // bottom of the destination, as the device does with a bottom-up picture.
    pDC->translate(nDestX, static_cast<qreal>(nDestY) + nDestHeight);
    pDC->scale(1.0, -1.0);
    pDC->drawImage(QRectF(0, 0, nDestWidth, nDestHeight), dib,
                   QRectF(xs, ys, nSrcCopyWidth, nSrcCopyHeight));
    pDC->restore();
    return 1;
}

PluginObject* CDibUtil::LoadClassObject(const char* szLibrary) {
    if (!szLibrary || !*szLibrary) return nullptr;
    void* hModule = nullptr;
    // The libraries belong beside the executable. Looking there first does not depend on the
    // run path reaching dlopen, which fails when a sanitizer's wrapper is the caller.
    if (!std::strchr(szLibrary, '/')) {
        const std::string strBeside = ExecutableFolder() + "/" + szLibrary;
        if (access(strBeside.c_str(), F_OK) == 0)
            hModule = dlopen(strBeside.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!hModule) hModule = dlopen(szLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!hModule) return nullptr;
    auto pCreate = reinterpret_cast<tessor::plugin::CreateClassOnceFn>(
        dlsym(hModule, tessor::plugin::kCreateClassOnce));
    PluginObject* pObject = pCreate ? pCreate(hModule) : nullptr;
    if (!pObject) dlclose(hModule);
    return pObject;
}

void CDibUtil::ReleaseClassObject(PluginObject* pObject) {
    if (!pObject) return;
    void* hModule = pObject->moduleHandle();
    // The destructor's code lives in the library, so the library goes only after the object.
    delete pObject;
    if (hModule) dlclose(hModule);
}

bool CDibUtil::CreateMemoryPicture(QPainter* pMemDC, const QPaintDevice* pRefDC, QImage* pBitmap,
                                   int nLeft, int nTop, int nRight, int nBottom,
                                   const QColor& crFill, QPaintDevice** ppOld) {
    if (ppOld) *ppOld = nullptr;
    if (!pMemDC || !pBitmap) return false;
    const std::int64_t nWidth = static_cast<std::int64_t>(nRight) - nLeft;
    const std::int64_t nHeight = static_cast<std::int64_t>(nBottom) - nTop;
    if (nWidth <= 0 || nHeight <= 0 || nWidth * nHeight * 4 > kMaxBufferBytes) return false;

    QImage::Format format = QImage::Format_RGB32;
    if (pRefDC && pRefDC->devType() == QInternal::Image) {
        const auto* pRefImage = static_cast<const QImage*>(pRefDC);
        if (pRefImage->format() != QImage::Format_Invalid) format = pRefImage->format();
    }
    QImage picture(static_cast<int>(nWidth), static_cast<int>(nHeight), format);
    if (picture.isNull()) return false;

    QPaintDevice* pOld = pMemDC->isActive() ? pMemDC->device() : nullptr;
    if (pMemDC->isActive()) pMemDC->end();
    *pBitmap = std::move(picture);
    if (!pMemDC->begin(pBitmap)) {
        *pBitmap = QImage();
        return false;
    }
    pMemDC->fillRect(0, 0, static_cast<int>(nWidth), static_cast<int>(nHeight), crFill);
    if (ppOld) *ppOld = pOld;
    return true;
}

bool CDibUtil::IsWow64() const {
    return m_pFacts->HasWow64Probe() && m_pFacts->RunsUnderWow64();
}

int CDibUtil::GetWindowsVersion() const {
    PlatformFacts::VersionInfo info;
    if (!m_pFacts->QueryVersionEx(info) && !m_pFacts->QueryVersion(info)) info = {};
    if (info.platformId == 1) {
        if (info.minorVersion == 90) return 3;
        return info.minorVersion < 10 ? 1 : 2;
    }
    if (info.platformId != 2) return 0;
    if (info.majorVersion >= 6) return IsWow64() ? 11 : 10;
    if (info.majorVersion == 5) {
        if (IsWow64()) return 9;
        if (info.minorVersion >= 2) return 8;
        return info.minorVersion == 1 ? 6 : 5;
    }
    return info.majorVersion == 4 ? 4 : 0;
}
