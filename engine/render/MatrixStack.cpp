#include "engine/render/MatrixStack.h"

#include "engine/core/Debugger.h"

MatrixStack::MatrixStack() {
    current.SetIdentity();
    for (auto& m : saved) m.SetIdentity();
}

uint16_t MatrixStack::Changed() {
    ++changeCounter;
    currentId = changeCounter;
    dirty = 1;
    return currentId;
}

bool MatrixStack::Push() {
    if (depth >= kDepth || idDepth >= kDepth) {
        Debugger::Instance().Log(1, "MATRIXSTACK: Push beyond %d levels refused", kDepth);
        return false;
    }
    saved[depth++] = current;
    savedIds[idDepth++] = currentId;
    return true;
}

bool MatrixStack::Pop() {
    if (depth <= 0 || idDepth <= 0) {
        Debugger::Instance().Log(1, "MATRIXSTACK: Pop of an empty stack refused");
        return false;
    }
    current = saved[--depth];
    currentId = savedIds[--idDepth];
    dirty = 1;
    return true;
}

uint16_t MatrixStack::Multiply(const Matrix4& m) {
    Matrix4 r;
    current.Multiply(r, m);
    current = r;
    return Changed();
}

uint16_t MatrixStack::PreMultiply(const Matrix4& m) {
    Matrix4 r;
    m.Multiply(r, current);
    current = r;
    return Changed();
}

void MatrixStack::Load(const Matrix4& m) {
    current = m;
    Changed();
}

uint16_t MatrixStack::LoadIdentity() {
    current.SetIdentity();
    return Changed();
}
