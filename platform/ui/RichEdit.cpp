#include "platform/ui/detail/Core.h"
namespace taluvo::ui::detail {
void RegisterRichEditClass() { }
}
