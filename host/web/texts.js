// The words of the browser front end in both languages.
export const TEXTS = {
  en: {
    line: 'Line', ext: 'Parameters', para: 'Operator parameters', pos: 'Positioning', vv: 'VV table', run: 'Test run',
    entry: 'Entry', selected: 'selected', readOnly: 'read-only: another browser drives the line', cancel: 'Cancel',
    station: 'Station', answered: 'Answered', name: 'Name', select: 'Select', identify: 'Identify',
    online: 'Online', offline: 'Offline', device: 'Port', locks: 'Locks', free: 'free', family: 'Family', model: 'Model',
    motor: 'Motor', encoder: 'Encoder', capacity: 'Capacity',
    read: 'Read', writeChanged: 'Write changed', writeAll: 'Write all', compare: 'Compare', create: 'New',
    open: 'Open file', save: 'Save file', csv: 'CSV', listing: 'Listing', page: 'Page', no: 'No.', code: 'Code',
    value: 'Value', unit: 'Unit', range: 'Range', initial: 'Initial', changed: 'Changed', reference: 'In hand',
    amplifier: 'Amplifier', noSet: 'No set in hand: read one from the amplifier, open a file or make a new one.',
    noDiff: 'No difference: the amplifier holds the values in hand.', diffs: '{0} difference(s), highlighted',
    outOfRange: 'outside {0} .. {1}', tooManyPlaces: 'at most {0} decimal places', notNumber: 'not a number',
    done: '{0}: done', cmd: 'Cmd', step: 'Step', stopPos: 'Stop position', speed: 'Speed', accel: 'Accel',
    decel: 'Decel', timer: 'Timer', mCode: 'M code', mValid: 'M valid', mTiming: 'M timing', insert: 'Insert',
    runOn: 'Run on', runOff: 'Run off', start: 'Start', cancelRun: 'Cancel run', point: 'Point',
    position: 'Position', toGo: 'To go', state: 'State', time: 'time [s]', watching: 'watching the run',
    states: ['idle', 'running', 'arrived', 'cancelled'], status: 'Status',
    backup: 'Backup', restore: 'Restore', plan: 'Plan restore', folder: 'Folder', file: 'File', kind: 'Set',
    readDate: 'Read at', written: 'written', verified: 'verified', backupDone: '{0} files saved in {1}',
  },
  ja: {
    line: '回線', ext: 'パラメータ', para: 'オペレータパラメータ', pos: '位置決め', vv: 'VV テーブル', run: '試運転',
    entry: '局', selected: '選択中', readOnly: '参照のみ: 別のブラウザが回線を操作中', cancel: '中止',
    station: '局番', answered: '応答', name: '名称', select: '選択', identify: '識別',
    online: 'オンライン', offline: 'オフライン', device: 'ポート', locks: 'ロック', free: '空き', family: '機種系列', model: '機種',
    motor: 'モータ', encoder: 'エンコーダ', capacity: '容量',
    read: '読出し', writeChanged: '変更分を書込み', writeAll: '全書込み', compare: '比較', create: '新規',
    open: 'ファイルを開く', save: 'ファイルに保存', csv: 'CSV', listing: '一覧', page: 'ページ', no: '番号', code: 'コード',
    value: '値', unit: '単位', range: '範囲', initial: '初期値', changed: '変更', reference: '編集中',
    amplifier: 'アンプ', noSet: 'データがありません。アンプから読み出すか、ファイルを開くか、新規作成してください。',
    noDiff: '相違なし: アンプの値は編集中の値と同じです。', diffs: '相違 {0} 件 (強調表示)',
    outOfRange: '範囲 {0} .. {1} の外です', tooManyPlaces: '小数は {0} 桁まで', notNumber: '数値ではありません',
    done: '{0}: 完了', cmd: '指令', step: 'ステップ', stopPos: '停止位置', speed: '速度', accel: '加速', decel: '減速',
    timer: 'タイマ', mCode: 'M コード', mValid: 'M 有効', mTiming: 'M タイミング', insert: '挿入',
    runOn: '運転オン', runOff: '運転オフ', start: '起動', cancelRun: '運転取消し', point: '点',
    position: '位置', toGo: '残り', state: '状態', time: '時間 [s]', watching: '運転を監視中',
    states: ['停止', '運転中', '到達', '取消し'], status: '状態',
    backup: 'バックアップ', restore: '復元', plan: '復元の確認', folder: 'フォルダ', file: 'ファイル', kind: '種類',
    readDate: '読出し日時', written: '書込み', verified: '照合済み', backupDone: '{0} ファイルを {1} に保存しました',
  },
};

export function say(lang, key, ...args) {
  let text = (TEXTS[lang] ?? TEXTS.en)[key] ?? key;
  args.forEach((a, i) => { text = text.replace(`{${i}}`, a); });
  return text;
}
