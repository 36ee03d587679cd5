// The service's result codes (cpp/voteservice/core/resultcode.h, the one list of them) in the
// viewer's words; the web parsing test fails when this map and that list name different codes.
const kWords = new Map([
  [0, '已投出'],
  [2, '这个投票已不存在'],
  [3, '没有正在进行的这个投票'],
  [4, '本子频道已有一个进行中的投票'],
  [6, '只有频道管理员可以这样做'],
  [7, '投票内容不符合规则'],
  [8, '投票进行中，不能修改或删除'],
  [9, '请求的身份或频道与当前登录不符'],
  [10, '投票已结束或尚未开始'],
  [11, '你的票已经投完了'],
  [12, '这一项你已投满，请投给其他选项'],
  [13, '没有这个选项'],
  [14, '你不是本场投票的评委'],
  [15, '你已经打过分了'],
  [16, '每次只能投一票，评分须在 1 到 5 分之间'],
  [17, '请求格式有误'],
  [18, '投票数量已达上限'],
  [19, '操作太频繁，请稍后再试'],
  [20, '投票类型不符'],
  [21, '服务暂时无法读写数据，请稍后再试'],
  [22, '这个链接只能观看，不能这样操作'],
  [23, '开始时间已经过去'],
  [24, '开始时间太远，最多可提前 30 天'],
  [25, '这个投票没有定时开始'],
]);

export function resultWords(code) {
  return kWords.get(code) ?? `投票未成功（错误代码 ${code}）`;
}
