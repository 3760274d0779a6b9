#pragma once
// The slideshow's slides: ten pictures with their texts, built once and kept for the rest of the run.
#include <memory>
#include <string>
#include <vector>
#include "framework/ExtCtrls.h"
#include "framework/StdCtrls.h"

class TPromoInfoItem {
public:
  // Decodes the picture "PROMO_<number>" of the program; raises an error when it cannot.
  TPromoInfoItem(int number, std::wstring text);
  int Number;
  TGdiObject Image;
  std::wstring Text;
};

class TPromoInfo {
public:
  TPromoInfo();  // fills the ten slides
  void AddItem(int number, const std::wstring& text);
  // None when the index is out of range.
  TPromoInfoItem* GetItem(int index) const;
  void FillItems();
  std::vector<std::unique_ptr<TPromoInfoItem>> Items;
};

// The single slide list of the program, built on the first call and kept until the process ends.
TPromoInfo& PromoInfo();
// Copies the slide's picture into the picture box and its text into the label.
void ShowPromoItem(const TPromoInfoItem& item, TImage& image, TLabel& label);
