#include "wizard/uPromo.h"
#include "framework/Exceptions.h"
#include "framework/Graphics.h"
#include "framework/Strings.h"
#include "wizard/uStringRes.h"

namespace {
constexpr int kSlideCount = 10;
}

TPromoInfoItem::TPromoInfoItem(int number, std::wstring text)
    : Number(number), Image(LoadPngResource((L"PROMO_" + IntToStr(number)).c_str())), Text(std::move(text)) {
  if (!Image) throw Exception(L"Cannot load the picture PROMO_" + IntToStr(number));
}

TPromoInfo::TPromoInfo() { FillItems(); }

void TPromoInfo::AddItem(int number, const std::wstring& text) {
  Items.push_back(std::make_unique<TPromoInfoItem>(number, text));
}

TPromoInfoItem* TPromoInfo::GetItem(int index) const {
  if (index < 0 || index >= static_cast<int>(Items.size())) return nullptr;
  return Items[index].get();
}

void TPromoInfo::FillItems() {
  for (int number = 1; number <= kSlideCount; ++number) AddItem(number, LoadStr(sPromoText1 + number - 1));
}

TPromoInfo& PromoInfo() {
  // Lives until the process ends; a failed build leaves nothing behind, so the next call tries again.
  static TPromoInfo* instance = nullptr;
  if (!instance) instance = new TPromoInfo();
  return *instance;
}

void ShowPromoItem(const TPromoInfoItem& item, TImage& image, TLabel& label) {
  // A copy, so the kept picture is never handed away.
  image.SetBitmap(TGdiObject(::CopyImage(item.Image.Get(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  label.SetText(item.Text);
}
