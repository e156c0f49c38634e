#include <gtest/gtest.h>

#include "SysUtils.h"
#include "uVarList.h"

namespace {

TEST(VarObj, TextAndValueStayInStep) {
  TVarObj v;
  v.SetString("12.5");
  EXPECT_EQ(v.Value, 12.5);
  for (const char* text : {"12,5", "abc", "", "1 2", "inf"}) {
    v.SetString(text);
    EXPECT_EQ(v.Value, 0) << text;
    EXPECT_EQ(v.AsString(), text);
  }
  v.SetString("  -1.5e2");
  EXPECT_EQ(v.AsFloat(), -150);

  v.SetFloat(2.9);
  EXPECT_EQ(v.AsInteger(), 2);
  EXPECT_EQ(v.Text, "2.9");
  v.SetFloat(-2.9);
  EXPECT_EQ(v.AsInteger(), -2);
  v.SetFloat(0.1 + 0.2);
  EXPECT_EQ(v.Text, "0.3");
  v.SetFloat(1e10);
  EXPECT_THROW(v.AsInteger(), ERangeError);

  v.SetInteger(-42);
  EXPECT_EQ(v.Text, "-42");
  EXPECT_EQ(v.Value, -42);

  v.SetBoolean(true);
  EXPECT_EQ(v.AsString(), "True");
  EXPECT_TRUE(v.AsBoolean());
  v.SetBoolean(false);
  EXPECT_EQ(v.AsString(), "False");
  v.SetString("0.0");
  EXPECT_FALSE(v.AsBoolean());
  v.SetString("letters");
  EXPECT_FALSE(v.AsBoolean());
  v.SetString("2");
  EXPECT_TRUE(v.AsBoolean());
}

TEST(VarList, GlobalsAndDeclarations) {
  TVarList list;
  TVarObj* a = list.Declare("Abc", VarType::String);
  EXPECT_EQ(list.Names(0), "ABC");
  EXPECT_EQ(a->Name, "Abc");
  EXPECT_EQ(list.Find("aBC"), a);
  EXPECT_TRUE(list.Exists("abc"));
  a->SetString("kept");
  EXPECT_EQ(list.Declare("ABC", VarType::Integer), a);
  EXPECT_EQ(a->VarType, VarType::Integer);
  EXPECT_EQ(a->Text, "kept");
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(1), nullptr);
  EXPECT_EQ(list.Items(-1), nullptr);
  EXPECT_EQ(list.DeclareLocal("x", VarType::Float)->EntryKind, EntryKind::Global) << "no sub runs";
  list.Delete(5);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 1);
}

TEST(VarList, LocalsShadowGlobalsUntilTheSubEnds) {
  TVarList list;
  TVarObj* global = list.Declare("G", VarType::String);
  list.EnterSub("main", {}, {}, {}, {});
  TVarObj* local = list.DeclareLocal("g", VarType::String);
  EXPECT_EQ(list.Find("G"), local);
  EXPECT_EQ(local->EntryKind, EntryKind::Local);
  list.LeaveSub();
  EXPECT_EQ(list.Find("G"), global);
  EXPECT_EQ(list.Count(), 1);
  list.LeaveSub();
  EXPECT_EQ(list.Count(), 1) << "no frame, nothing changes";
}

TEST(VarList, FrameLayout) {
  TVarList list;
  list.Declare("G", VarType::String);
  list.EnterSub("ret", {"P1", "", "P3"}, {false, false, true}, {"v1", "x", "G"},
                {VarType::Integer, VarType::String, VarType::String});
  list.DeclareLocal("L1", VarType::String);
  list.DeclareLocal("L2", VarType::String);
  const uint8_t kinds[] = {EntryKind::FrameHead, EntryKind::ByValParam, EntryKind::ByRefParam, EntryKind::Local,
                           EntryKind::Local,     EntryKind::FrameBottom, EntryKind::Global};
  const char* names[] = {"", "P1", "P3", "L2", "L1", "", "G"};
  ASSERT_EQ(list.Count(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(list.Items(i)->EntryKind, kinds[i]) << i;
    EXPECT_EQ(list.Names(i), names[i]) << i;
  }
  EXPECT_EQ(list.Items(0)->Text, "ret");
  EXPECT_EQ(list.Items(1)->Value, 0) << "v1 is no number";
  EXPECT_EQ(list.Items(1)->VarType, VarType::Integer);
  list.LeaveSub();
  EXPECT_EQ(list.Count(), 1);
}

TEST(VarList, ByReferenceParametersReachTheCallersVariable) {
  TVarList list;
  list.EnterSub("caller", {}, {}, {}, {});
  TVarObj* x = list.DeclareLocal("X", VarType::String);
  list.EnterSub("callee", {"P"}, {true}, {"x"}, {VarType::String});
  TVarObj* p = list.Find("p");
  ASSERT_EQ(p, x);
  p->SetString("changed");
  EXPECT_EQ(x->Text, "changed");
}

TEST(VarList, ByValueParametersYieldToLocalsOfTheSameFrame) {
  TVarList list;
  list.Declare("P", VarType::String)->SetString("global");
  list.EnterSub("s", {"P"}, {false}, {"arg"}, {VarType::String});
  EXPECT_EQ(list.Find("P")->Text, "arg");
  TVarObj* local = list.DeclareLocal("P", VarType::String);
  EXPECT_EQ(list.Find("P"), local);
}

TEST(VarList, CalleesSeeTheLocalsOfTheirCallers) {
  TVarList list;
  list.EnterSub("A", {}, {}, {}, {});
  TVarObj* aLocal = list.DeclareLocal("OnlyInA", VarType::Integer);
  list.EnterSub("B", {}, {}, {}, {});
  EXPECT_EQ(list.Find("onlyina"), aLocal);
  EXPECT_EQ(list.Find("nowhere"), nullptr);
  TVarObj* global = list.Declare("OnlyInA", VarType::String);
  EXPECT_NE(global, aLocal) << "a declaration beside a local makes a separate global";
  EXPECT_EQ(global->EntryKind, EntryKind::Global);
  EXPECT_EQ(list.Items(list.Count() - 1), global);
}

TEST(VarList, LookupsFollowEveryChangeOfTheList) {
  TVarList list;
  EXPECT_EQ(list.Find("A"), nullptr);
  TVarObj* global = list.Declare("a", VarType::String);
  EXPECT_EQ(list.Find("A"), global) << "an unknown name becomes known";
  list.EnterSub("s", {"A"}, {false}, {"arg"}, {VarType::String});
  TVarObj* param = list.Find("a");
  EXPECT_NE(param, global);
  TVarObj* local = list.DeclareLocal("A", VarType::Integer);
  EXPECT_EQ(list.Find("a"), local);
  list.LeaveSub();
  EXPECT_EQ(list.Find("A"), global);
  list.Delete(list.Count() - 1);
  EXPECT_EQ(list.Find("a"), nullptr);
  TVarObj* added = list.Add("A", VarType::String, EntryKind::Global);
  EXPECT_EQ(list.Find("A"), added);
  list.Insert(0, "A", EntryKind::Local, VarType::String);
  EXPECT_EQ(list.Find("A"), list.Items(0));
  list.Clear();
  EXPECT_EQ(list.Find("A"), nullptr);
}

TEST(VarList, ParseType) {
  uint8_t t = 99;
  std::string text = "integer %a%";
  EXPECT_TRUE(TVarList::ParseType(text, t));
  EXPECT_EQ(t, VarType::Integer);
  EXPECT_EQ(text, "%a%");
  for (auto [input, type] : {std::pair{"Float x", VarType::Float}, std::pair{"BOOLEAN", VarType::Boolean},
                             std::pair{"String s", VarType::String}}) {
    text = input;
    EXPECT_TRUE(TVarList::ParseType(text, t)) << input;
    EXPECT_EQ(t, type) << input;
  }
  text = "Strings s";
  EXPECT_FALSE(TVarList::ParseType(text, t));
  EXPECT_EQ(t, VarType::None);
  EXPECT_EQ(text, "Strings s");
}

TEST(VarList, NameCharacters) {
  for (char c : std::string("$&+-/09AZ_")) EXPECT_TRUE(IsVarNameChar(c)) << c;
  for (char c : std::string("az %.!")) EXPECT_FALSE(IsVarNameChar(c)) << c;
}

}  // namespace
