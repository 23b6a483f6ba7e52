#include "core/settings.h"
#include "kmv.h"

extern "C" {
KMV_API extern const kmv_status_message satusMessage[17] = {
    {0, "SUCCESS:処理成功"},
    {-1, "EOF:入力ファイルの終わり"},
    {-2, "ENOTEXISTS:ファイルは存在せず"},
    {-3, "ENOTFILE:通常ファイルではない"},
    {-4, "EALLOC:メモリー・アロケート・エラー"},
    {-5, "EROPEN:入力ファイル・オープン・エラー"},
    {-6, "EWOPEN:出力ファイル・オープン・エラー"},
    {-7, "EREAD:入力エラー"},
    {-8, "EWRITE:出力エラー"},
    {-10, "EIOMODE:入出力モード誤り"},
    {-11, "EIOFDRANGE:ファイル記述子範囲誤り"},
    {-12, "EIONOTOPEN:未オープン・ファイルへのアクセス"},
    {-13, "EIOMAX:上限を超えたファイル・オープン"},
    {-20, "ECTYPE:コード・タイプ誤り"},
    {-21, "EBOM:BOM 不正（未使用）"},
    {-22, "EUEXPEOD:予期せぬデータの終わり"},
    {-23, "ECHAR:コード値エラー"},
};
KMV_API extern const uint64_t satusMessageSize = 17;
}
KMV_ALIAS(const kmv_status_message, satusMessage, _satusMessage[17]);
KMV_ALIAS(const uint64_t, satusMessageSize, _satusMessageSize);
