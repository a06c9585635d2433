// QpXmlUnescape.cpp - the in-place rewrite of the five predefined XML entities.
#include "QpXmlUnescape.h"

namespace {

struct Entity {
  const char* mText;  // from the "&" to the ";" inclusive
  int mLength;
  char mChar;
};

// The order matters only in principle (no entity is a prefix of another), but it is the order in
// which writers are known to try them, so keep it.
const Entity kEntities[] = {
    {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''},
};

// True when inText starts with inEntity. The compare stops at the first difference, so it never
// reads past the terminator of a text shorter than the entity.
bool startsWith(const char* inText, const Entity& inEntity) {
  for (int i = 0; i < inEntity.mLength; ++i) {
    if (inText[i] != inEntity.mText[i]) return false;
  }
  return true;
}

}  // namespace

char* QpXmlUnescape(char* ioText) {
  if (ioText == nullptr) return ioText;
  // Every entity is longer than its character, so the write position never overtakes the read
  // position and one buffer serves as both source and destination.
  const char* vRead = ioText;
  char* vWrite = ioText;
  while (*vRead != '\0') {
    if (*vRead == '&') {
      const Entity* vMatch = nullptr;
      for (const Entity& vEntity : kEntities) {
        if (startsWith(vRead, vEntity)) {
          vMatch = &vEntity;
          break;
        }
      }
      if (vMatch != nullptr) {
        *vWrite++ = vMatch->mChar;
        vRead += vMatch->mLength;
        continue;
      }
    }
    *vWrite++ = *vRead++;
  }
  *vWrite = '\0';
  return ioText;
}
