// About.
#include "viewer/app/dialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "viewer/app/control_ids.h"
#include "viewer/app/dialog_parts.h"
#include "viewer/app/texts.h"

namespace viewer::app {

using dialog_parts::button;

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("100"));
  setWindowTitle(Tivola::tr("About Tivola"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Tivola"), this));  // the product title
  layout->addWidget(new QLabel(Tivola::tr("Tivola Version 1.1E"), this));
  layout->addWidget(new QLabel(Tivola::tr("Copyright (C) The Tivola developers"), this));
  auto* row = new QHBoxLayout;
  row->addStretch();
  QPushButton* ok = button(this, QT_TRANSLATE_NOOP("Tivola", "OK"), ids::kOk);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  row->addWidget(ok);
  layout->addLayout(row);
}

}  // namespace viewer::app
