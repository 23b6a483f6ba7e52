// The EUC-JP family's converters. kmv_eucto_euc re-encodes from the
// variant in the decoding slots to the one in the encoding slots.
#include "convert/euc_decoder.h"
#include "convert/frame.h"
#include "convert/jis_writer.h"
#include "convert/writers.h"

using namespace kmv::conv;

KMV_CONVERTER(kmv_eucto_euc, EucDecoder<kToLegacy>, EucWriter)
KMV_CONVERTER(kmv_eucto_jis, EucDecoder<kToLegacy>, JisWriter)
KMV_CONVERTER(kmv_eucto_sjis, EucDecoder<kToLegacy>, SjisWriter)
KMV_CONVERTER_BOM(kmv_eucto_unibe, EucDecoder<kEucToUtf16>,
                  Utf16Writer<Order::kBig>)
KMV_CONVERTER_BOM(kmv_eucto_unile, EucDecoder<kEucToUtf16>,
                  Utf16Writer<Order::kLittle>)
KMV_CONVERTER_BOM(kmv_eucto_utf8, EucDecoder<kEucToUtf8>, Utf8Writer)
