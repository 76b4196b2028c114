#include "engine/core/Console.h"

#include <cstdio>

zkConsole::OutputView::OutputView() { name = SharedString("zkEngine default graphical console"); }

void zkConsole::OutputView::Print(const SharedString& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

zkConsole::zkConsole() { name = SharedString("zkConsole"); }

zkConsole::~zkConsole() = default;

void zkConsole::Open() { isOpen_ = true; }

void zkConsole::Close() { isOpen_ = false; }

void zkConsole::HandleInput(float) {}

void zkConsole::Update(float) {}
