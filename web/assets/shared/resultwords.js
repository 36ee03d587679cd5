// The service's result codes (cpp/voteservice/core/resultcode.h, the one list of them) in the
// viewer's words, Simplified Chinese then English, one row per code; the web parsing test fails when
// these rows and that list name different codes.
const kRows = [
  [0, '已投出', 'Your vote is in'],
  [2, '这个投票已不存在', 'This vote no longer exists'],
  [3, '没有正在进行的这个投票', 'This vote is not running'],
  [4, '本子频道已有一个进行中的投票', 'Another vote is already running in this sub-channel'],
  [6, '只有频道管理员可以这样做', 'Only channel managers can do this'],
  [7, '投票内容不符合规则', 'The vote breaks the rules for votes'],
  [8, '投票进行中，不能修改或删除', 'The vote is running: it cannot be changed or deleted'],
  [9, '请求的身份或频道与当前登录不符', 'The identity or channel of the request is not the signed-in one'],
  [10, '投票已结束或尚未开始', 'The vote has ended or not started yet'],
  [11, '你的票已经投完了', 'You have used all your votes'],
  [12, '这一项你已投满，请投给其他选项', 'This option has all the votes you may give it; vote for another one'],
  [13, '没有这个选项', 'No such option'],
  [14, '你不是本场投票的评委', 'You are not a judge of this vote'],
  [15, '你已经打过分了', 'You have already scored'],
  [16, '每次只能投一票，评分须在 1 到 5 分之间', 'One vote at a time; a score is 1 to 5'],
  [17, '请求格式有误', 'The request is malformed'],
  [18, '投票数量已达上限', 'The list of votes is full'],
  [19, '操作太频繁，请稍后再试', 'Too many requests, please try again shortly'],
  [20, '投票类型不符', 'Wrong kind of vote'],
  [21, '服务暂时无法读写数据，请稍后再试', 'The service cannot read or write its data right now, please try again later'],
  [22, '这个链接只能观看，不能这样操作', 'This link may only watch, not do this'],
  [23, '开始时间已经过去', 'The start time has passed'],
  [24, '开始时间太远，最多可提前 30 天', 'The start time is too far ahead: at most 30 days'],
  [25, '这个投票没有定时开始', 'This vote has no scheduled start'],
];
const kWords = new Map(kRows.map(([code, ...texts]) => [code, texts]));

const kLanguages = ['zh-CN', 'en'];
const kUnknown = [(code) => `投票未成功（错误代码 ${code}）`, (code) => `The vote did not go through (error code ${code})`];

// language: 'zh-CN' (the default) or 'en'.
export function resultWords(code, language = 'zh-CN') {
  const which = Math.max(0, kLanguages.indexOf(language));
  return kWords.get(code)?.[which] ?? kUnknown[which](code);
}
