// The names the calendar writes, spelled out in full: lists of names are
// compared joined, so one wrong or shifted name shows as a readable diff.
// Texts come back as GBK and are compared as UTF-8.
#include <string>

#include <gtest/gtest.h>

#include "lunar/lunar.h"
#include "lunar/month_grid.h"
#include "platform/gbk.h"

namespace tarvok::lunar {
namespace {

template <typename F>
std::string Joined(int from, int to, F name) {
  std::string out;
  for (int i = from; i <= to; ++i) {
    if (i > from) out += ' ';
    out += GbkToUtf8(name(i));
  }
  return out;
}

TEST(Names, LunarDays) {
  EXPECT_EQ(Joined(1, 30, LunarDayName),
            "初一 初二 初三 初四 初五 初六 初七 初八 初九 初十 "
            "十一 十二 十三 十四 十五 十六 十七 十八 十九 二十 "
            "廿一 廿二 廿三 廿四 廿五 廿六 廿七 廿八 廿九 三十");
}

TEST(Names, LunarMonths) {
  EXPECT_EQ(Joined(1, 12, [](int m) { return LunarMonthName(m, false); }),
            "正月 二月 三月 四月 五月 六月 七月 八月 九月 十月 冬月 腊月");
  EXPECT_EQ(Joined(1, 12, [](int m) { return LunarMonthName(m, true); }),
            "闰正月 闰二月 闰三月 闰四月 闰五月 闰六月 闰七月 闰八月 闰九月 闰十月 闰冬月 闰腊月");
}

TEST(Names, StemsBranchesAndAnimals) {
  EXPECT_EQ(Joined(1, 10, StemName), "甲 乙 丙 丁 戊 己 庚 辛 壬 癸");
  EXPECT_EQ(Joined(1, 12, BranchName), "子 丑 寅 卯 辰 巳 午 未 申 酉 戌 亥");
  EXPECT_EQ(Joined(1, 12, ZodiacName), "鼠 牛 虎 兔 龙 蛇 马 羊 猴 鸡 狗 猪");
}

TEST(Names, SixtyYearCycle) {
  EXPECT_EQ(Joined(1, 60, StemBranchName),
            "甲子 乙丑 丙寅 丁卯 戊辰 己巳 庚午 辛未 壬申 癸酉 "
            "甲戌 乙亥 丙子 丁丑 戊寅 己卯 庚辰 辛巳 壬午 癸未 "
            "甲申 乙酉 丙戌 丁亥 戊子 己丑 庚寅 辛卯 壬辰 癸巳 "
            "甲午 乙未 丙申 丁酉 戊戌 己亥 庚子 辛丑 壬寅 癸卯 "
            "甲辰 乙巳 丙午 丁未 戊申 己酉 庚戌 辛亥 壬子 癸丑 "
            "甲寅 乙卯 丙辰 丁巳 戊午 己未 庚申 辛酉 壬戌 癸亥");
}

TEST(Names, SolarTerms) {
  EXPECT_EQ(Joined(1, 24, SolarTermName),
            "小寒 大寒 立春 雨水 惊蛰 春分 清明 谷雨 立夏 小满 芒种 夏至 "
            "小暑 大暑 立秋 处暑 白露 秋分 寒露 霜降 立冬 小雪 大雪 冬至");
}

TEST(Names, GridHeaders) {
  EXPECT_EQ(Joined(1, 7, WeekdayHeaderName), "星期一 星期二 星期三 星期四 星期五 星期六 星期日");
  EXPECT_EQ(Joined(1, 12, GregorianMonthName),
            "一月 二月 三月 四月 五月 六月 七月 八月 九月 十月 十一月 十二月");
}

TEST(Names, OutsideTheirListsAreEmpty) {
  for (int i : {-1, 0}) {
    EXPECT_EQ(LunarDayName(i), "");
    EXPECT_EQ(StemBranchName(i), "");
    EXPECT_EQ(SolarTermName(i), "");
    EXPECT_EQ(LunarMonthName(i, false), "");
    EXPECT_EQ(LunarMonthName(i, true), "");
    EXPECT_EQ(StemName(i), "");
    EXPECT_EQ(BranchName(i), "");
    EXPECT_EQ(ZodiacName(i), "");
    EXPECT_EQ(WeekdayHeaderName(i), "");
    EXPECT_EQ(GregorianMonthName(i), "");
  }
  EXPECT_EQ(LunarDayName(31), "");
  EXPECT_EQ(StemBranchName(61), "");
  EXPECT_EQ(SolarTermName(25), "");
  EXPECT_EQ(LunarMonthName(13, false), "");
  EXPECT_EQ(LunarMonthName(13, true), "");
  EXPECT_EQ(StemName(11), "");
  EXPECT_EQ(BranchName(13), "");
  EXPECT_EQ(ZodiacName(13), "");
  EXPECT_EQ(WeekdayHeaderName(8), "");
  EXPECT_EQ(GregorianMonthName(13), "");
}

}  // namespace
}  // namespace tarvok::lunar
