#include "backup/productwindows.h"

#include "backup/productwindow.h"

#include <QPointer>

namespace tobra {

namespace {
// One window per product for the whole run; QPointer notices when the owner
// has taken it down.
QPointer<ProductWindow> g_windows[3];

QPointer<ProductWindow> &slotOf(Product product)
{
    return g_windows[static_cast<int>(product)];
}
}  // namespace

ProductWindow *existingProductWindow(Product product)
{
    return slotOf(product).data();
}

void showProductWindow(Product product, QWidget *owner)
{
    QPointer<ProductWindow> &slot = slotOf(product);
    if (!slot)
        slot = new ProductWindow(product, owner);
    slot->openWindow(slot->profile().modal);
}

}  // namespace tobra
