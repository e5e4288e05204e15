#include "app/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>

#include "app/conversions.h"
#include "app/data_files.h"
#include "app/document_opener.h"
#include "app/fonts.h"
#include "app/key_filter.h"
#include "app/load_names_form.h"
#include "app/settings_store.h"
#include "app/up_down.h"
#include "link/mass_text.h"
#include "procedure/operator_dialogs.h"
#include "procedure/plan.h"

namespace librato::app {
namespace {

constexpr int kEditHeight = 21;
const QColor kBlue(0, 0, 255);

const char* const kRealUnreadable =
    "Введите положительное действительное число в поле \"Условная масса эталонной гири\".";
const char* const kNominalUnreadable =
    "Введите положительное действительное число в поле \"Номинальное значение массы эталонной "
    "гири\".";
const char* const kBadValue = "Некорректное значение";

QFrame* MakePanel(QWidget* parent, const char* name, int x, int y, int w, int h,
                  bool border = true) {
  auto* p = new QFrame(parent);
  p->setObjectName(name);
  if (border) p->setFrameStyle(QFrame::Panel | QFrame::Raised);
  p->setGeometry(x, y, w, h);
  return p;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  l->move(x, y);
  l->adjustSize();
  return l;
}

// A caption that ends just left of `right`.
QLabel* MakeLabelRight(QWidget* parent, const char* name, const QString& text, int right, int y) {
  QLabel* l = MakeLabel(parent, name, text, 0, y);
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  l->move(std::max(0, right - l->width()), y);
  return l;
}

void Colour(QWidget* w, const QColor& c) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::WindowText, c);
  w->setPalette(pal);
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int x, int y, int w) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setGeometry(x, y, w, kEditHeight);
  return e;
}

QComboBox* MakeCombo(QWidget* parent, const char* name, int x, int y, int w, bool editable,
                     const QStringList& items) {
  auto* c = new QComboBox(parent);
  c->setObjectName(name);
  c->setEditable(editable);
  if (editable) c->setInsertPolicy(QComboBox::NoInsert);
  c->addItems(items);
  c->setGeometry(x, y, w, kEditHeight);
  return c;
}

// Selects item `index`; an index outside the list leaves no item selected,
// and -1 empties the field's text as well.
void SelectIndex(QComboBox* combo, int index) {
  if (index >= 0 && index < combo->count()) {
    combo->setCurrentIndex(index);
    return;
  }
  const QString text = combo->currentText();
  combo->setCurrentIndex(-1);
  if (combo->isEditable()) combo->setEditText(index == -1 ? QString() : text);
}

// The selected index of a combo box whose text may have been typed: -1
// unless the text is that of an item.
int SelectedIndex(const QComboBox* combo) {
  if (!combo->isEditable()) return combo->currentIndex();
  return combo->findText(combo->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

}  // namespace

TMainForm::TMainForm(OperatorDialogs* dialogs, DocumentOpener* opener, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      opener_(opener),
      beep_([] { QApplication::beep(); }) {
  setObjectName("TMainForm");
  setFont(DialogFont());
  setWindowIcon(QIcon(":/librato/icons/librato.png"));
  BuildLayout();
  SetStartDir(QDir::currentPath());
  reLog->hide();
  trace_.setListener([this] { MirrorTrace(); });
  results_.setListener([this](const ResultsTable::Change& c) { MirrorResults(c); });
  loadNames_ = std::make_unique<TLoadNamesForm>(dialogs_);
  loadNames_->setClosedHandler([this] {
    setEnabled(true);
    raise();
    activateWindow();
  });
  FitToContent();
}

TMainForm::~TMainForm() {
  trace_.setListener(nullptr);
  results_.setListener(nullptr);
  RemoveTrayIcon();
}

void TMainForm::BuildLayout() {
  // Splash area, and the start warning shown in it when a run starts.
  plPicture = MakePanel(this, "plPicture", 0, 0, 466, 303);
  Image1 = new QLabel(plPicture);
  Image1->setObjectName("Image1");
  Image1->setGeometry(2, 2, 460, 300);
  Image1->setAlignment(Qt::AlignCenter);
  const QPixmap splash(":/librato/pictures/splash.png");
  if (!splash.isNull())
    Image1->setPixmap(splash.scaled(460, 300, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  plWarning = MakePanel(plPicture, "plWarning", 1, 1, 464, 160);
  Label37 = MakeLabel(plWarning, "Label37", "ВНИМАНИЕ!", 168, 40);
  Label37->setFont(SansPx(24));
  Colour(Label37, kBlue);
  Label37->adjustSize();
  Label38 =
      MakeLabel(plWarning, "Label38", "Перед началом работы весы должны быть разгружены!", 32, 80);
  Label38->setFont(SansPx(15, true));
  Colour(Label38, kBlue);
  Label38->adjustSize();
  plWarning->hide();

  plMain = MakePanel(this, "plMain", 0, 0, 665, 575, false);
  plMain->hide();

  reLog = new QPlainTextEdit(this);
  reLog->setObjectName("reLog");
  reLog->setGeometry(0, 576, 665, 33);
  reLog->setReadOnly(true);
  // The memo is never shown; it keeps only the latest lines so that a long
  // run does not fill memory with text nobody reads (the trace keeps more).
  reLog->setMaximumBlockCount(20000);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  N2 = PopupMenu1->addAction("Закрыть");
  N2->setObjectName("N2");
  connect(N2, &QAction::triggered, this, [this] { close(); });

  timerShowMain = new QTimer(this);
  timerShowMain->setObjectName("timerShowMain");
  timerShowMain->setInterval(3500);
  connect(timerShowMain, &QTimer::timeout, this, &TMainForm::timerShowMainTimer);
  timerWeight = new QTimer(this);
  timerWeight->setObjectName("timerWeight");
  timerWeight->setInterval(400);
  connect(timerWeight, &QTimer::timeout, this, [this] { Guarded([this] { Timer2Timer(); }); });
  tCur = new QTimer(this);
  tCur->setObjectName("tCur");
  tCur->setInterval(200);
  connect(tCur, &QTimer::timeout, this, [this] { Guarded([this] { tCurTimer(); }); });
  tCur->start();  // on in the layout; the start-up's StopRun switches it off

  lHelp = MakeLabel(plMain, "lHelp", "Справка", 0, -2);
  lHelp->setFont(SansPx(12));
  Colour(lHelp, kBlue);
  lHelp->adjustSize();
  lHelp->setCursor(Qt::PointingHandCursor);
  lHelp->installEventFilter(this);

  Panel5 = MakePanel(plMain, "Panel5", -1, 16, 664, 42);
  Label1 = new QLabel("Поверка гирь методом сличения с эталонной гирей", Panel5);
  Label1->setObjectName("Label1");
  Label1->setFont(SansPx(15, true));
  Label1->setGeometry(0, 3, 664, 18);
  Label1->setAlignment(Qt::AlignCenter);
  Colour(Label1, kBlue);
  Label2 = new QLabel("циклы ABA, ABBA и AB1…BnA на весах с последовательным портом", Panel5);
  Label2->setObjectName("Label2");
  Label2->setFont(SansPx(15));
  Label2->setGeometry(0, 21, 664, 18);
  Label2->setAlignment(Qt::AlignCenter);
  Colour(Label2, kBlue);

  Panel4 = MakePanel(plMain, "Panel4", -3, 52, 668, 336);
  cbSKO = new QCheckBox("Определение СКО", Panel4);
  cbSKO->setObjectName("cbSKO");
  cbSKO->move(14, 18);
  cbSKO->adjustSize();
  connect(cbSKO, &QCheckBox::clicked, this, [this] { Guarded([this] { cbSKOClick(); }); });
  Label32 = MakeLabel(Panel4, "Label32", "№ протокола: ", 136, 22);
  edtProtoNum = MakeEdit(Panel4, "edtProtoNum", 216, 18, 81);

  BuildPanel1();
  BuildPanel2();

  pCur = MakePanel(Panel4, "pCur", 1, 220, 308, 36);
  lCur = new QLabel("0", pCur);
  lCur->setObjectName("lCur");
  lCur->setFont(MonoPx(29, true));
  Colour(lCur, kBlue);
  lCur->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lCur->setGeometry(2, 2, 211, 33);  // right edge fixed where the initial "0" ends
  labStab = new QLabel("g", pCur);
  labStab->setObjectName("labStab");
  labStab->setFont(MonoPx(29, true));
  Colour(labStab, kBlue);
  labStab->move(240, 0);
  labStab->adjustSize();
  labStab->hide();

  gbStatus = new QGroupBox(Panel4);
  gbStatus->setObjectName("gbStatus");
  gbStatus->setGeometry(-2, 250, 312, 56);
  labHintSmall = new QLabel("Поставьте проверяемую гирю", gbStatus);
  labHintSmall->setObjectName("labHintSmall");
  labHintSmall->setFont(SansPx(11, true));
  Colour(labHintSmall, kBlue);
  labHintSmall->setGeometry(10, 6, 284, 14);
  labHint = new QLabel("A100", gbStatus);
  labHint->setObjectName("labHint");
  labHint->setFont(MonoPx(40, true));
  Colour(labHint, kBlue);
  labHint->setGeometry(10, 17, 292, 39);
  labHint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  mFormula = new QTextEdit(Panel4);
  mFormula->setObjectName("mFormula");
  mFormula->setGeometry(2, 304, 660, 32);
  mFormula->setReadOnly(true);
  mFormula->setFrameStyle(QFrame::NoFrame);
  mFormula->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  mFormula->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  mFormula->setFocusPolicy(Qt::NoFocus);
  {
    QPalette pal = mFormula->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    pal.setColor(QPalette::Text, QColor(96, 96, 96));
    mFormula->setPalette(pal);
  }
  mFormula->setPlainText(
      "Хi=Bi-1/2 (Aн+Ак) для метода АВА и АВ1…В5А;   ХJ=1/2 {(Bi-Aн) +(Bi+1-Ак)} для метода АВВА, "
      "\nгде Aн и Aк - обозначение эталонной гири в начале и конце каждого цикла АВА (АВВА).");
  for (QTextBlock b = mFormula->document()->begin(); b.isValid(); b = b.next()) {
    QTextCursor c(b);
    QTextBlockFormat f = b.blockFormat();
    f.setAlignment(Qt::AlignHCenter);
    c.setBlockFormat(f);
  }

  BuildPanel11();

  for (QWidget* w : {static_cast<QWidget*>(plPicture), static_cast<QWidget*>(plMain),
                     static_cast<QWidget*>(reLog)})
    w->installEventFilter(this);
}

void TMainForm::BuildPanel1() {
  Panel1 = MakePanel(Panel4, "Panel1", 0, 40, 309, 180);
  Label5 = MakeLabel(Panel1, "Label5", "Заказчик:", 8, 13);
  eCustomer = MakeEdit(Panel1, "eCustomer", 84, 9, 219);
  Label40 = MakeLabel(Panel1, "Label40", "Исполнитель:", 8, 40);
  eCompany = MakeEdit(Panel1, "eCompany", 84, 36, 219);
  Label18 = MakeLabel(Panel1, "Label18", "Поверитель:", 8, 67);
  eTester = MakeEdit(Panel1, "eTester", 84, 63, 219);

  Label4 = MakeLabel(Panel1, "Label4", "Последовательный порт связи:", 8, 92);
  ComCB = MakeCombo(Panel1, "ComCB", 195, 88, 75, true, {});
  Label3 = MakeLabel(Panel1, "Label3", "Время считывания результата:", 8, 116);
  cbInterval =
      MakeCombo(Panel1, "cbInterval", 195, 112, 75, false, {"3", "4", "5", "10", "15", "20"});
  cbInterval->setFont(SansPx(9));
  cbInterval->setMaxVisibleItems(10);
  cbInterval->setCurrentIndex(0);
  Label26 = MakeLabel(Panel1, "Label26", "с", 274, 116);

  Label8 = MakeLabel(Panel1, "Label8", "Количество проверяемых гирь:", 8, 139);
  eTotLoad = MakeEdit(Panel1, "eTotLoad", 195, 135, 58);
  // Four digits cover any laboratory's batch; a longer number would have the
  // numbers dialog and the plan allocate without bound.
  eTotLoad->setMaxLength(4);
  ud = new UpDown(Panel1, eTotLoad, 1, 100);
  ud->setObjectName("ud");
  ud->setGeometry(253, 135, 17, kEditHeight);
  Label9 = MakeLabel(Panel1, "Label9", "штук", 274, 139);
  connect(eTotLoad, &QLineEdit::textChanged, this,
          [this] { Guarded([this] { eTotLoadChange(); }); });

  cbAddNames = new QCheckBox("Ввести номера гирь", Panel1);
  cbAddNames->setObjectName("cbAddNames");
  cbAddNames->move(9, 158);
  cbAddNames->adjustSize();
  connect(cbAddNames, &QCheckBox::clicked, this,
          [this] { Guarded([this] { cbAddNamesClick(); }); });
  bLNShow = new QPushButton(" ...", Panel1);
  bLNShow->setObjectName("bLNShow");
  bLNShow->setGeometry(138, 158, 17, 16);
  bLNShow->setToolTip("Показать номера гирь");
  bLNShow->hide();
  connect(bLNShow, &QPushButton::clicked, this, [this] { Guarded([this] { bLNShowClick(); }); });
  ud->setPosition(5);
}

void TMainForm::BuildPanel2() {
  Panel2 = MakePanel(Panel4, "Panel2", 309, 8, 358, 297);
  Label7 = MakeLabel(Panel2, "Label7", "Циклов\nна гирю", 192, 0);
  Label30 = MakeLabel(Panel2, "Label30", "  Гирь\nв цикле", 264, 0);

  rbFirst = new QRadioButton("Групповой цикл", Panel2);
  rbFirst->setObjectName("rbFirst");
  rbFirst->move(8, 29);
  rbFirst->adjustSize();
  rbFirst->setChecked(true);
  auto schemeLabel = [this](const char* name, const char* text, int x) {
    QLabel* l = MakeLabel(Panel2, name, text, x, 27);
    l->setFont(SansPx(16, true));
    l->adjustSize();
    return l;
  };
  Label27 = schemeLabel("Label27", "1", 208);
  Label29 = schemeLabel("Label29", "A", 248);
  seLoadInCycle = new QSpinBox(Panel2);
  seLoadInCycle->setObjectName("seLoadInCycle");
  seLoadInCycle->setRange(1, 5);
  seLoadInCycle->setValue(1);
  seLoadInCycle->setGeometry(264, 26, 49, kEditHeight);
  Label28 = schemeLabel("Label28", "BA", 316);

  rbSecond = new QRadioButton("Индивидуальный цикл", Panel2);
  rbSecond->setObjectName("rbSecond");
  rbSecond->move(8, 51);
  rbSecond->adjustSize();
  seCyclesToWeight = new QSpinBox(Panel2);
  seCyclesToWeight->setObjectName("seCyclesToWeight");
  seCyclesToWeight->setRange(1, 10);
  seCyclesToWeight->setValue(1);
  seCyclesToWeight->setGeometry(192, 50, 41, kEditHeight);
  cbMethod = MakeCombo(Panel2, "cbMethod", 248, 50, 89, false, {"ABA", "ABBA"});
  cbMethod->setCurrentIndex(0);

  Panel3 = MakePanel(Panel2, "Panel3", 28, 68, 320, 24, false);
  Label31 = MakeLabel(Panel3, "Label31", "Циклы", 0, 6);
  rbDepend = new QRadioButton("Взаимозависимые", Panel3);
  rbDepend->setObjectName("rbDepend");
  rbDepend->move(55, 4);
  rbDepend->adjustSize();
  rbDepend->setChecked(true);
  rbIndepend = new QRadioButton("Не взаимозависимые", Panel3);
  rbIndepend->setObjectName("rbIndepend");
  rbIndepend->move(186, 4);
  rbIndepend->adjustSize();

  Label12 =
      MakeLabelRight(Panel2, "Label12", "Номинальное значение массы эталонной гири:", 265, 98);
  eW = MakeEdit(Panel2, "eW", 269, 94, 64);
  Label13 = MakeLabel(Panel2, "Label13", "г", 337, 98);
  Label10 = MakeLabelRight(Panel2, "Label10", "Условная масса эталонной гири:", 265, 123);
  eReal = MakeEdit(Panel2, "eReal", 269, 119, 63);
  Label16 = MakeLabel(Panel2, "Label16", "г", 337, 123);
  Label24 = MakeLabelRight(Panel2, "Label24", "Класс (разряд) точности эталонной гири:", 273, 148);
  cbAccClass = MakeCombo(Panel2, "cbAccClass", 277, 144, 58, true,
                         {"E1", "E2", "F1", "F2", "M1", "1", "2", "3", "4"});
  cbAccClass->setFont(SansPx(9));
  cbAccClass->setMaxVisibleItems(10);
  SelectIndex(cbAccClass, -1);
  cbAccClass->setEditText("F1");
  Label17 = MakeLabelRight(Panel2, "Label17", "Номер эталонной гири:", 187, 172);
  eSampleNumber = MakeEdit(Panel2, "eSampleNumber", 191, 168, 144);
  Label25 = MakeLabelRight(Panel2, "Label25", "№ свидетельства (сертификата):", 187, 196);
  eCer = MakeEdit(Panel2, "eCer", 191, 192, 144);

  auto bold16 = [](QLabel* l) {
    l->setFont(SansPx(16, true));
    l->adjustSize();
    return l;
  };
  Label22 = bold16(MakeLabel(Panel2, "Label22", "t =", 8, 235));
  eTemp = MakeEdit(Panel2, "eTemp", 41, 234, 80);
  Label23 = bold16(MakeLabel(Panel2, "Label23", "°C", 125, 235));
  // The Greek nu of the humidity symbol, shown directly.
  Label33 = bold16(MakeLabel(Panel2, "Label33", "ν =", 186, 235));
  eWet = MakeEdit(Panel2, "eWet", 219, 234, 86);
  Label34 = bold16(MakeLabel(Panel2, "Label34", "%", 309, 235));
  Label35 = bold16(MakeLabel(Panel2, "Label35", "P =", 8, 267));
  ePressure = MakeEdit(Panel2, "ePressure", 41, 266, 80);
  cbUoM = MakeCombo(Panel2, "cbUoM", 128, 266, 113, true, {"мм рт.ст.", "мбар (гПа)"});
  cbUoM->setFrame(false);
  cbUoM->setLayoutDirection(Qt::RightToLeft);
  {
    QPalette pal = cbUoM->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    pal.setColor(QPalette::Button, pal.color(QPalette::Window));
    cbUoM->setPalette(pal);
  }

  decimalFilter_ = new KeyFilter(
      KeyFilter::DecimalCharacters(), [this] { beep_(); }, this);
  for (QObject* w : std::initializer_list<QObject*>{eW, eReal, eTemp, eWet, ePressure, cbInterval})
    decimalFilter_->attach(w);
  digitFilter_ = new KeyFilter(
      KeyFilter::DigitCharacters(), [this] { beep_(); }, this);
  digitFilter_->attach(eTotLoad);
  noCharFilter_ = new KeyFilter(
      QString(), [this] { beep_(); }, this);
  noCharFilter_->attach(ComCB);
  eW->installEventFilter(this);
  eReal->installEventFilter(this);
}

void TMainForm::BuildPanel11() {
  Panel11 = MakePanel(plMain, "Panel11", 0, 390, 649, 186);
  StrGrid1 = new QTableWidget(1, ResultsTable::kColumns, Panel11);
  StrGrid1->setObjectName("StrGrid1");
  StrGrid1->setGeometry(-1, 3, 668, 150);
  QFont gridFont("Liberation Sans");
  gridFont.setPixelSize(7);
  StrGrid1->setFont(gridFont);
  StrGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StrGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
  StrGrid1->setTabKeyNavigation(true);
  StrGrid1->verticalHeader()->hide();
  StrGrid1->verticalHeader()->setMinimumSectionSize(8);
  StrGrid1->verticalHeader()->setDefaultSectionSize(14);
  StrGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  StrGrid1->verticalHeader()->setSectionsMovable(true);
  QHeaderView* header = StrGrid1->horizontalHeader();
  header->setFont(gridFont);
  header->setMinimumSectionSize(8);
  header->setFixedHeight(15);
  header->setSectionsMovable(true);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setHighlightSections(false);
  const int widths[ResultsTable::kColumns] = {25, 68, 39, 67, 85, 64, 66, 117, 104};
  for (int c = 0; c < ResultsTable::kColumns; ++c) {
    StrGrid1->setHorizontalHeaderItem(c, new QTableWidgetItem());
    StrGrid1->setColumnWidth(c, widths[c]);
  }

  connect(StrGrid1->verticalScrollBar(), &QScrollBar::rangeChanged, this,
          [this] { ApplyGridTop(); });

  lblSKO = new QLabel(Panel11);
  lblSKO->setObjectName("lblSKO");
  lblSKO->setFont(SansPx(13));
  lblSKO->setGeometry(376, 160, 270, 18);

  auto button = [this](const char* name, const char* text, int x) {
    auto* b = new QPushButton(text, Panel11);
    b->setObjectName(name);
    b->setGeometry(x, 155, 84, 28);
    return b;
  };
  btnStart = button("btnStart", "Начать", 0);
  btnStop = button("btnStop", "Прервать", 0);
  btnStop->hide();
  btnSave = button("btnSave", "Сохранить", 90);
  btnClear = button("btnClear", "Очистить окно", 180);
  btnPrint = button("btnPrint", "Печать", 270);
  connect(btnStart, &QPushButton::clicked, this, [this] { Guarded([this] { btnStartClick(); }); });
  connect(btnStop, &QPushButton::clicked, this, [this] { Guarded([this] { btnStopClick(); }); });
  connect(btnSave, &QPushButton::clicked, this, [this] { Guarded([this] { btnSaveClick(); }); });
  connect(btnClear, &QPushButton::clicked, this, [this] { Guarded([this] { btnClearClick(); }); });
  connect(btnPrint, &QPushButton::clicked, this, [this] { Guarded([this] { btnPrintClick(); }); });
}

void TMainForm::FormCreate() {
  timerShowMain->start();
  CentreOnScreen();
  ComCB->clear();
  for (int k = 0; k < 255; ++k) ComCB->addItem(QStringLiteral("COM%1").arg(k + 1));
  SelectIndex(ComCB, -1);
  setWindowTitle(QString::fromLatin1(kProgramVersion));
  // The grid's headers: row 0 of the results table.
  for (int c = 0; c < ResultsTable::kColumns; ++c)
    MirrorResults({ResultsTable::Change::Cell, c, 0});
  MirrorResults({ResultsTable::Change::RowCount, 0, 0});
  LoadSettings();
  setWindowTitle(QStringLiteral("Librato - ") + QString::fromLatin1(kProgramVersion));
  cbUoM->setCurrentIndex(0);
  StopRun();
}

void TMainForm::timerShowMainTimer() {
  plMain->show();
  plPicture->hide();
  CentreOnScreen();
  AddTrayIcon();
  timerShowMain->stop();
  Image1->hide();
}

void TMainForm::FitToContent() {
  int w = 0, h = 0;
  for (QWidget* child : {static_cast<QWidget*>(plPicture), static_cast<QWidget*>(plMain),
                         static_cast<QWidget*>(reLog)}) {
    if (!child || child->isHidden()) continue;
    w = std::max(w, child->geometry().right() + 1);
    h = std::max(h, child->geometry().bottom() + 1);
  }
  if (w > 0 && h > 0) setFixedSize(w, h);
}

void TMainForm::CentreOnScreen() {
  QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!s) return;
  const QRect area = s->availableGeometry();
  move(area.center() - QPoint(width() / 2, height() / 2));
}

void TMainForm::AddTrayIcon() {
  if (trayIcon_) return;
  trayIcon_ = new QSystemTrayIcon(this);
  trayIcon_->setObjectName("trayIcon");
  const QIcon icon(":/librato/icons/librato.png");
  if (!icon.isNull()) trayIcon_->setIcon(icon);
  trayIcon_->setToolTip("Librato.exe");
  trayIcon_->setContextMenu(PopupMenu1);
  connect(trayIcon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick) {
              showFromTray();
            } else if (reason == QSystemTrayIcon::Context) {
              raise();
              activateWindow();
            }
          });
  trayIcon_->show();
}

void TMainForm::RemoveTrayIcon() {
  if (!trayIcon_) return;
  trayIcon_->hide();
  delete trayIcon_;
  trayIcon_ = nullptr;
}

bool TMainForm::trayIconShown() const { return trayIcon_ && trayIcon_->isVisible(); }

void TMainForm::showFromTray() {
  show();
  raise();
}

std::vector<QWidget*> TMainForm::ControlsLockedWhileRunning() const {
  return {ComCB,         cbInterval, eTotLoad, ud,          cbAddNames, bLNShow,  eCustomer,
          eCompany,      eTester,    cbSKO,    edtProtoNum, rbFirst,    rbSecond, seCyclesToWeight,
          seLoadInCycle, cbMethod,   rbDepend, rbIndepend,  eW,         eReal,    cbAccClass,
          eSampleNumber, eCer,       eTemp,    eWet,        ePressure,  cbUoM,    btnSave,
          btnClear,      btnPrint,   Label5,   Label40,     Label18,    Label4,   Label3,
          Label26,       Label8,     Label9,   Label32,     Label7,     Label30,  Label31,
          Label12,       Label13,    Label10,  Label16,     Label24,    Label17,  Label25,
          Label22,       Label23,    Label33,  Label34,     Label35};
}

void TMainForm::EnableControls(bool idle) {
  for (QWidget* w : ControlsLockedWhileRunning()) w->setEnabled(idle);
  btnStart->setVisible(idle);
  btnStop->setVisible(!idle);
}

void TMainForm::lHelpClick() {
  if (!opener_) return;
  const QString doc = QDir(StartDir()).filePath("HELP.doc");
  if (QFileInfo(doc).isFile()) {
    opener_->open(doc);
    return;
  }
  const QString guide = FindDataFile("help/librato-help.html");
  if (!guide.isEmpty()) opener_->open(guide);
}

void TMainForm::PlayNotify() {
  if (notifySound_) notifySound_();
}

void TMainForm::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    dialogs_->error(e.what());
  } catch (...) {
    dialogs_->error("");
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::FocusOut: {
      // Leaving the field for another control; not a switch to another window.
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) break;
      if (watched == eW) Guarded([this] { eWExit(); });
      if (watched == eReal) Guarded([this] { eRealChange(); });
      break;
    }
    case QEvent::MouseButtonRelease:
      if (watched == lHelp && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        Guarded([this] { lHelpClick(); });
      break;
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
      if (watched == plPicture || watched == plMain || watched == reLog) FitToContent();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void TMainForm::MassFieldExit(QLineEdit* field, const char* unreadableMessage) {
  double value = 0;
  if (!ParseDecimal(field->text().toStdString(), value)) {
    dialogs_->message(unreadableMessage, kBadValue, kMsgOk);
    return;
  }
  const MassText mass(liveDecimals(), &trace_);
  field->setText(QString::fromStdString(mass.FormatMass(false, value)));
  if (ParseDecimal(field->text().toStdString(), value) && value > 210000) {
    dialogs_->message(
        "Данная версия программы предназначена для работы с гирями с номинальной массой не "
        "более 200 кг",
        kBadValue, kMsgOkWarning);
    field->setText("200000");
  }
}

void TMainForm::eWExit() { MassFieldExit(eW, kNominalUnreadable); }

void TMainForm::eRealChange() { MassFieldExit(eReal, kRealUnreadable); }

void TMainForm::eTotLoadChange() {
  const int n = StrToInt(eTotLoad->text());
  if (n < rememberedWeightCount_ && loadNames_) {
    const int r = loadNames_->rowCount() - 1;
    for (int row = r; row > n && row >= 1; --row) loadNames_->setCell(1, row, {});
  }
  rememberedWeightCount_ = n;
}

void TMainForm::cbSKOClick() {
  if (!cbSKO->isChecked() || seCyclesToWeight->value() < 2) return;
  const Answer a =
      dialogs_->message("Количество циклов на гирю будет установлено равным 1. Продолжить?",
                        "Вычисление СКО", kMsgYesNoQuestion);
  if (a != Answer::No) seCyclesToWeight->setValue(1);
}

void TMainForm::OpenNumbersDialog(bool writeHeaders) {
  const int n = StrToInt(eTotLoad->text());
  loadNames_->setRowCount(n + 1);
  if (writeHeaders) {
    loadNames_->setCell(0, 0, "№");
    loadNames_->setCell(1, 0, "№ гири");
  }
  for (int i = 1; i <= n; ++i) loadNames_->setCell(0, i, QString::number(i));
}

void TMainForm::cbAddNamesClick() {
  if (!cbAddNames->isChecked()) {
    bLNShow->hide();
    return;
  }
  OpenNumbersDialog(true);
  loadNames_->show();
  loadNames_->raise();
  loadNames_->activateWindow();
  bLNShow->show();
  setEnabled(false);
}

void TMainForm::bLNShowClick() {
  OpenNumbersDialog(false);
  setEnabled(false);
  loadNames_->show();
  loadNames_->raise();
  loadNames_->activateWindow();
}

bool TMainForm::CheckParameters() {
  try {
    lblSKO->clear();
    if (ComCB->currentIndex() < 0) {
      dialogs_->message("Укажите COM порт", kBadValue, kMsgOk);
      return false;
    }
    SessionParameters& p = run_.params;
    ReadTextParameters(p);
    p.PortNumber = ComCB->currentIndex() + 1;
    p.ReadoutTime = StrToInt(cbInterval->currentText());
    if (!ParseDecimal(eReal->text().toStdString(), p.RealMass)) {
      dialogs_->message(kRealUnreadable, kBadValue, kMsgOk);
      return false;
    }
    if (!ParseDecimal(eW->text().toStdString(), p.NominalMass)) {
      dialogs_->message(kNominalUnreadable, kBadValue, kMsgOk);
      return false;
    }
    p.WeightCount = StrToInt(eTotLoad->text());
    // A run needs at least one weight under test; without one there is no plan.
    if (p.WeightCount < 1) {
      dialogs_->message("Количество проверяемых гирь должно быть не меньше 1", kBadValue, kMsgOk);
      return false;
    }
    run_.stepsDone = -2;
    run_.aCount = -1;
    run_.bCount = 0;
    shared_.stepsDone.store(-2);

    PlanInputs in;
    in.DetermineSKO = cbSKO->isChecked();
    in.Depend = rbDepend->isChecked();
    in.GroupCycle = rbFirst->isChecked();
    in.LoadInCycle = seLoadInCycle->value();
    in.CyclesToWeight = seCyclesToWeight->value();
    in.MethodABA = cbMethod->currentIndex() == 0;
    in.WeightCount = p.WeightCount;
    p.DetermineSKO = in.DetermineSKO;
    p.Depend = in.Depend;
    p.GroupCycle = in.GroupCycle;
    p.LoadInCycle = in.LoadInCycle;
    p.CyclesToWeight = in.CyclesToWeight;
    p.MethodABA = in.MethodABA;
    std::optional<Plan> plan = BuildPlan(in, trace_);
    if (!plan) return false;
    run_.plan = std::move(*plan);

    const double low = 0.98 * p.NominalMass;
    const double high = 1.02 * p.NominalMass;
    if (low <= p.RealMass && p.RealMass <= high) return true;
    PlayNotify();
    const MassText mass(liveDecimals(), &trace_);
    dialogs_->message("Действительное значение гири должно быть не меньше " +
                          mass.FormatMass(false, low) + " г и не больше " +
                          mass.FormatMass(false, high) + " г.",
                      "Несоответствие данных", kMsgOkWarning);
    return false;
  } catch (const ConversionError& e) {
    dialogs_->error(e.what());
    return false;
  }
}

void TMainForm::ReadTextParameters(SessionParameters& p) const {
  p.NominalText = eW->text().toStdString();
  p.RealText = eReal->text().toStdString();
  p.AccuracyClass = cbAccClass->currentText().toStdString();
  p.ReferenceNumber = eSampleNumber->text().toStdString();
  p.CertifNum = eCer->text().toStdString();
  p.Customer = eCustomer->text().toStdString();
  p.Company = eCompany->text().toStdString();
  p.Tester = eTester->text().toStdString();
  p.Temperature = eTemp->text().toStdString();
  p.Humidity = eWet->text().toStdString();
  p.Pressure = ePressure->text().toStdString();
  p.PressureUnitIndex = cbUoM->currentIndex() == 1 ? PressureUnit::HPa : PressureUnit::MmHg;
  p.PressureUnitText = cbUoM->currentText().toStdString();
  p.ProtocolNumber = edtProtoNum->text().toStdString();
  p.NumbersEntered = cbAddNames->isChecked();
}

void TMainForm::btnStartClick() {
  // The start warning, the standard-deviation questions and the clearing of
  // earlier results come in front of this once the step machine is wired in.
  StartThread();
}

void TMainForm::StartThread() {
  if (!CheckParameters()) return;
  // The acquisition thread, timerWeight and the running state start here.
}

void TMainForm::btnStopClick() {
  EnableControls(true);
  StopRun();
}

void TMainForm::StopRun() {
  tCur->stop();
  lCur->hide();
  labStab->hide();
  timerWeight->stop();
  {
    std::lock_guard lock(shared_.SnapshotLock);
    shared_.stopRequested.store(true);
    shared_.readingRequested.store(false);
    shared_.readingReady.store(false);
  }
  EnableControls(true);
  labHint->clear();
  labHintSmall->clear();
}

void TMainForm::LoadSettings() {
  SettingsStore store;
  if (store.openOrCreate()) {
    store.close();
    return;  // first start: the controls keep their created state
  }
  SelectIndex(ComCB, store.readInt("COM", 0));
  SelectIndex(cbAccClass, store.readInt("LoadClass", 0));
  ud->setPosition(store.readInt("TotLoad", 1));
  SelectIndex(cbInterval, store.readInt("GetInterval", 0));
  eCustomer->setText(store.readText("Customer", {}));
  eCompany->setText(store.readText("Company", {}));
  eTester->setText(store.readText("Tester", {}));
  eSampleNumber->setText(store.readText("LoadNum", {}));
  eW->setText(store.readText("Nominal", "2000"));
  eReal->setText(store.readText("Real", "2000"));
  eCer->setText(store.readText("CertifNum", {}));
  const bool depend = store.readBool("Depend", true);
  rbDepend->setChecked(depend);
  rbIndepend->setChecked(!depend);
  SelectIndex(cbMethod, store.readInt("ABA", 0));
  seCyclesToWeight->setValue(store.readInt("CyclesToWeight", 2));
  seLoadInCycle->setValue(store.readInt("LoadInCycle", 2));
  const bool first = store.readBool("rbFirst", true);
  rbFirst->setChecked(first);
  rbSecond->setChecked(!first);
}

void TMainForm::SaveSettings() {
  SettingsStore store;
  // The arrows follow a number typed into their field.
  ud->stepBy(0);
  store.writeInt("GetInterval", cbInterval->currentIndex());
  store.writeText("RealLoad", eReal->text());
  store.writeText("Customer", eCustomer->text());
  store.writeText("Company", eCompany->text());
  store.writeText("Tester", eTester->text());
  store.writeText("CertifNum", eCer->text());
  store.writeText("LoadNum", eSampleNumber->text());
  store.writeText("Nominal", eW->text());
  store.writeText("Real", eReal->text());
  store.writeInt("TotLoad", ud->position());
  store.writeInt("COM", ComCB->currentIndex());
  store.writeInt("LoadClass", SelectedIndex(cbAccClass));
  store.writeText("SampleNum", eSampleNumber->text());
  store.writeInt("ABA", cbMethod->currentIndex());
  store.writeBool("Depend", rbDepend->isChecked());
  store.writeInt("CyclesToWeight", seCyclesToWeight->value());
  store.writeInt("LoadInCycle", seLoadInCycle->value());
  store.writeBool("rbFirst", rbFirst->isChecked());
  store.close();
  settingsSaved_ = true;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  PlayNotify();
  const Answer a = dialogs_->message("Выйти из программы?", "Завершение работы", kMsgYesNoQuestion);
  if (a != Answer::Yes) {
    event->ignore();
    return;
  }
  FormDestroy();
  event->accept();
  QCoreApplication::quit();
}

void TMainForm::FormDestroy() {
  if (shutdownHook_) shutdownHook_();
  SaveSettings();
  RemoveTrayIcon();
  loadNames_->hide();
}

void TMainForm::MirrorResults(const ResultsTable::Change& change) {
  switch (change.kind) {
    case ResultsTable::Change::Cell: {
      const QString text = QString::fromStdString(results_.cell(change.col, change.row));
      if (change.row == 0) {
        StrGrid1->horizontalHeaderItem(change.col)->setText(text);
        break;
      }
      if (StrGrid1->rowCount() < change.row) StrGrid1->setRowCount(change.row);
      QTableWidgetItem* item = StrGrid1->item(change.row - 1, change.col);
      if (!item) {
        item = new QTableWidgetItem();
        StrGrid1->setItem(change.row - 1, change.col, item);
      }
      item->setText(text);
      break;
    }
    case ResultsTable::Change::RowCount: {
      // Rows only change content through cells, except when the table is cut
      // back (cleared): then the rows that stay are read again.
      const int rows = results_.rowCount() - 1;
      const int old = StrGrid1->rowCount();
      StrGrid1->setRowCount(rows);
      for (int r = rows <= old ? 0 : old; r < rows; ++r) {
        for (int c = 0; c < ResultsTable::kColumns; ++c) {
          const QString text = QString::fromStdString(results_.cell(c, r + 1));
          QTableWidgetItem* item = StrGrid1->item(r, c);
          if (item) {
            item->setText(text);
          } else if (!text.isEmpty()) {
            StrGrid1->setItem(r, c, new QTableWidgetItem(text));
          }
        }
      }
      break;
    }
    case ResultsTable::Change::Scroll:
      ApplyGridTop();
      break;
  }
}

void TMainForm::ApplyGridTop() {
  // The scroll range follows new rows only at the next layout; it is applied
  // again then (rangeChanged), so the newest rows stay in view.
  StrGrid1->verticalScrollBar()->setValue(std::max(0, results_.topRow() - 1));
}

void TMainForm::MirrorTrace() {
  // traceShown_ counts lines from the last clear, including those the trace
  // has dropped since.
  const auto& lines = trace_.lines();
  const std::size_t total = trace_.dropped() + lines.size();
  if (total < traceShown_) {
    reLog->clear();
    traceShown_ = 0;
  }
  traceShown_ = std::max(traceShown_, trace_.dropped());
  for (; traceShown_ < total; ++traceShown_)
    reLog->appendPlainText(QString::fromStdString(lines[traceShown_ - trace_.dropped()]));
}

}  // namespace librato::app
