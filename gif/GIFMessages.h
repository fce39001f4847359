// The GIF unit's message texts: warnings, errors and progress captions.
#pragma once

namespace velmora {

// ---------------------------------------------------------------------------
// Message texts. Code refers to them by name.

extern const char* const _sOutOfData;
extern const char* const _sTooManyColors;
extern const char* const _sBadColorIndex;
extern const char* const _sBadVersion;
extern const char* const _sBadSignature;
extern const char* const _sScreenBadColorSize;
extern const char* const _sImageBadColorSize;
extern const char* const _sUnknownExtension;
extern const char* const _sBadExtensionLabel;
extern const char* const _sOutOfMemDIB;
extern const char* const _sDIBCreate;
extern const char* const _sDecodeTooFewBits;
extern const char* const _sDecodeCircular;
extern const char* const _sBadTrailer;
extern const char* const _sBadExtensionInstance;
extern const char* const _sBadBlockSize;
extern const char* const _sBadBlock;
extern const char* const _sUnsupportedClass;
extern const char* const _sInvalidData;
extern const char* const _sBadHeight;
extern const char* const _sBadWidth;
extern const char* const _sFailedPaste;
extern const char* const _sScreenSizeExceeded;
extern const char* const _sNoColorTable;
extern const char* const _sBadPixelCoordinates;
extern const char* const _sUnsupportedBitmap;
extern const char* const _sInvalidPixelFormat;
extern const char* const _sBadDimension;
extern const char* const _sNoDIB;
extern const char* const _sInvalidStream;
extern const char* const _sInvalidColor;
extern const char* const _sInvalidBitSize;
extern const char* const _sEmptyColorMap;
extern const char* const _sEmptyImage;
extern const char* const _sInvalidBitmapList;
extern const char* const _sInvalidReduction;
extern const char* const _sGIFImageFile;
extern const char* const _sProgressLoading;
extern const char* const _sProgressSaving;
extern const char* const _sProgressConverting;
extern const char* const _sProgressRendering;
extern const char* const _sProgressCopying;
extern const char* const _sProgressOptimizing;
// Our own guards against hostile input.
extern const char* const _sClearCodeTooLarge;
extern const char* const _sCodeTooLarge;
extern const char* const _sPixelMemoryExceeded;
extern const char* const _sOutOfMemImage;

}  // namespace velmora
