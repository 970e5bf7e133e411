#pragma once
// The vocabulary of the benchmarks' generated pages: Japanese and English words of a shop.
inline constexpr const char* PageWords[] = {
    "商品", "価格",   "送料",     "在庫", "お知らせ", "更新", "新着",   "the",    "price", "order",
    "news", "update", "shipping", "円",   "税込",     "詳細", "カート", "ページ", "会員",  "予約"};
