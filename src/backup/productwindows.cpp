#include "backup/productwindows.h"

namespace tobra {

void showProductWindow(Product, QWidget *)
{
    // The product windows come with the backup windows' change.
}

}  // namespace tobra
