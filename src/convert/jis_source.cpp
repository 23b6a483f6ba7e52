// The ISO-2022-JP family's converters: one decoder, five writers.
#include "convert/frame.h"
#include "convert/jis_decoder.h"
#include "convert/writers.h"

using namespace kmv::conv;

KMV_CONVERTER(kmv_jisto_euc, JisDecoder<kToLegacy>, EucWriter)
KMV_CONVERTER(kmv_jisto_sjis, JisDecoder<kToLegacy>, SjisWriter)
KMV_CONVERTER_BOM(kmv_jisto_unibe, JisDecoder<kJisToUnicode>,
                  Utf16Writer<Order::kBig>)
KMV_CONVERTER_BOM(kmv_jisto_unile, JisDecoder<kJisToUnicode>,
                  Utf16Writer<Order::kLittle>)
KMV_CONVERTER_BOM(kmv_jisto_utf8, JisDecoder<kJisToUnicode>, Utf8Writer)
