#pragma once

#include <QString>

#include <cstdint>

#include <tessor/plugin/MakerPlugin.h>

class PlatformFacts;
class QColor;
class QImage;
class QPaintDevice;
class QPainter;

// Drawing helpers made on the stack wherever needed: draws a 24-bit picture scaled into a
// rectangle, loads and releases objects of the picture libraries, makes memory pictures and
// reports the system's version code. Not thread-safe; used on the user-interface thread.
class CDibUtil {
public:
    using Bitmap = tessor::plugin::Bitmap;
    using PluginObject = tessor::plugin::PluginObject;

    // File names of the picture libraries, found beside the executable.
    static constexpr const char* kImgIoLibrary = "libKvImgIO.so";
    static constexpr const char* kScaleRotLibrary = "libKvScaleRot.so";

    // Pictures whose pixel buffers would exceed this are not allocated.
    static constexpr std::int64_t kMaxBufferBytes = 512ll << 20;

    CDibUtil();
    // facts must outlive the object.
    explicit CDibUtil(const PlatformFacts& facts);
    virtual ~CDibUtil() = default;

    // Draws the picture's source rectangle scaled into the destination rectangle of pDC.
    // Returns 1 on success, -1 when pDC is missing, -2 on any other failure; failures set
    // m_nLastError and m_strLastError. pBitmap's pixels stay the caller's.
    int DIBShow(QPainter* pDC, const Bitmap* pBitmap, int nDestX, int nDestY, int nDestWidth,
                int nDestHeight, int nSrcX, int nSrcY, int nSrcWidth, int nSrcHeight);

    // Loads the library by bare file name and returns the object its CreateClassOnce makes, or
    // nullptr (the library is unloaded again) when any step fails.
    static PluginObject* LoadClassObject(const char* szLibrary);
    // Deletes the object and unloads the library it came from.
    static void ReleaseClassObject(PluginObject* pObject);

    // Makes pBitmap a picture of (right - left) x (bottom - top) compatible with pRefDC, starts
    // pMemDC on it and fills it with crFill. *ppOld receives the device pMemDC painted on
    // before (nullptr when none). False, with pMemDC and pBitmap left empty, on failure.
    static bool CreateMemoryPicture(QPainter* pMemDC, const QPaintDevice* pRefDC, QImage* pBitmap,
                                    int nLeft, int nTop, int nRight, int nBottom,
                                    const QColor& crFill, QPaintDevice** ppOld = nullptr);

    // The version code: 1-3 consumer family, 0 and 4-6, 8-11 NT family, 0 unknown.
    int GetWindowsVersion() const;
    bool IsWow64() const;

    // Row length of the scaler's working picture: three bytes a pixel, raised to even.
    static int WorkRowBytes(int nWidth) { return (3 * nWidth + 1) / 2 * 2; }
    // Row length of a 24-bit device picture: three bytes a pixel, raised to a multiple of 4.
    static int DibRowBytes(int nWidth) { return (3 * nWidth + 3) / 4 * 4; }
    // Copies the picture's rows into pDib bottom row first, nDibRow bytes a row; a picture row
    // longer than that is cut, a shorter one leaves the rest of the row as it was.
    static void CopyRowsBottomUp(const Bitmap& picture, std::uint8_t* pDib, int nDibRow);

    int m_nLastError = 0;    // -1 or -2 after a failed DIBShow; kept after a later success
    QString m_strLastError;  // the text of the last DIBShow failure

private:
    int Fail(int nCode, const char* szText);

    const PlatformFacts* m_pFacts;
};
