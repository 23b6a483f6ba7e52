// The Shift_JIS family's converters.
#include "convert/frame.h"
#include "convert/jis_writer.h"
#include "convert/sjis_decoder.h"
#include "convert/writers.h"

using namespace kmv::conv;

KMV_CONVERTER(kmv_sjisto_euc, SjisDecoder<kToLegacy>, EucWriter)
KMV_CONVERTER(kmv_sjisto_jis, SjisDecoder<kToLegacy>, JisWriter)
KMV_CONVERTER_BOM(kmv_sjisto_unibe, SjisDecoder<kSjisToUnicode>,
                  Utf16Writer<Order::kBig>)
KMV_CONVERTER_BOM(kmv_sjisto_unile, SjisDecoder<kSjisToUnicode>,
                  Utf16Writer<Order::kLittle>)
KMV_CONVERTER_BOM(kmv_sjisto_utf8, SjisDecoder<kSjisToUnicode>, Utf8Writer)
