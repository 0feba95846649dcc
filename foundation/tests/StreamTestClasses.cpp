#include "StreamTestClasses.h"

namespace kvtest {

KV_IMPLEMENT_CLASS(TAllTypes, TBaseObject)
KV_IMPLEMENT_CLASS(TNode, TBaseObject)
KV_IMPLEMENT_CLASS(TListHolder, TBaseObject)
KV_IMPLEMENT_CLASS(TOneInt, TBaseObject)
KV_IMPLEMENT_CLASS(TEmpty, TBaseObject)

namespace {
const TClassRegistrar registrar{TAllTypes::StaticClass(), TNode::StaticClass(), TListHolder::StaticClass(),
                                TOneInt::StaticClass(), TEmpty::StaticClass()};
const char* const kColours = "Red,Green,Blue";
}  // namespace

void TAllTypes::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptString>(proc, param, S, "S", !S.empty());
  EmptyProp(proc, param, ptPString_, "PStr");
  Prop<ptStrings>(proc, param, Lines, "Lines", Lines.get() != nullptr);
  Prop<ptPChar>(proc, param, P, "P", P != nullptr);
  Prop<ptEnum>(proc, param, E, "E", true, kColours);
  Prop<ptInteger>(proc, param, I, "I");
  Prop<ptShortint>(proc, param, SI, "SI");
  Prop<ptSmallInt>(proc, param, Sm, "Sm");
  Prop<ptLongint>(proc, param, L, "L");
  Prop<ptByte>(proc, param, B, "B");
  Prop<ptWord>(proc, param, W, "W");
  Prop<ptCardinal>(proc, param, C, "C");
  Prop<ptBoolean>(proc, param, Bo, "Bo");
  Prop<ptByteBool>(proc, param, BB, "BB");
  Prop<ptWordBool>(proc, param, WB, "WB");
  Prop<ptLongBool>(proc, param, LB, "LB");
  Prop<ptChar>(proc, param, Ch, "Ch");
  Prop<ptReal>(proc, param, R, "R");
  Prop<ptSingle>(proc, param, Sg, "Sg");
  Prop<ptDouble>(proc, param, D, "D");
  Prop<ptExtended>(proc, param, X, "X");
  Prop<ptComp>(proc, param, Cp, "Cp");
  Prop<ptDate>(proc, param, Dt, "Dt");
  Prop<ptTime>(proc, param, Tm, "Tm");
  Prop<ptDateTime>(proc, param, DtTm, "DtTm");
  Prop<ptSet8>(proc, param, S8, "S8");
  Prop<ptSet16>(proc, param, S16, "S16");
  Prop<ptSet32>(proc, param, S32, "S32");
  Prop<ptSet64>(proc, param, S64, "S64");
  Prop<ptSet128>(proc, param, S128, "S128");
  Prop<ptSet256>(proc, param, S256, "S256");
  Prop<ptShortStr>(proc, param, Short, "Short");
  EmptyProp(proc, param, ptSet, "Set");
  Prop<ptObject>(proc, param, Child, "Child", Child.get() != nullptr);
  Prop<ptObjects>(proc, param, Items, "Items", Items.get() != nullptr);
}

void TAllTypes::Assign(const TBaseObject* source) {
  if (auto* s = ObjCast<TAllTypes>(source)) {
    S = s->S;
    I = s->I;
    return;
  }
  inherited::Assign(source);
}

void TNode::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptString>(proc, param, Name, "Name", !Name.empty());
  Prop<ptInteger>(proc, param, Value, "Value", Value != 0);
  Prop<ptObject>(proc, param, Next, "Next", Next.get() != nullptr);
}

void TListHolder::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptObjects>(proc, param, Nodes, "Nodes", Nodes.get() != nullptr);
  Prop<ptObjects>(proc, param, Named, "Named", Named.get() != nullptr);
  Prop<ptObjects>(proc, param, Stack, "Stack", Stack.get() != nullptr);
}

void TOneInt::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  if (UseByte)
    Prop<ptByte>(proc, param, Byte, "V");
  else
    Prop<ptInteger>(proc, param, V, "V");
}

}  // namespace kvtest
