#pragma once

class QWidget;

namespace tobra {

enum class Product { Qof, Qofp, Qsnp };

// Shows the product's backup window: one shared instance per run, created on
// first use; modal to owner for Qof and Qsnp, modeless for Qofp.
void showProductWindow(Product product, QWidget *owner);

}  // namespace tobra
