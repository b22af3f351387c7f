// The local device's console: log in, find any resource, send it a request,
// and three views built on the disk, log and playback resources.
'use strict';

const $ = id => document.getElementById(id);
// The back end reads a plain body only under this type (or JSON's).
const FORM = 'application/x-www-form-urlencoded';
const sleep = ms => new Promise(done => setTimeout(done, ms));

// Some known request bodies, shown when a resource is picked; other
// resources start with an empty body.
const TEMPLATES = {
  '/1000': () => ({ userName: 'admin', md5: md5('admin123') }),
  '/1002': () => logQuery(' ', 1),
  '/1003': () => logQuery('T', 1),
  '/1015': () => ({ lan: 'en' }),
  '/4000': () => playbackQuery(-1),
  '/4013': () => ({ id: 0, streamType: 0, startTime: isoZ(hoursAgo(1)), endTime: isoZ(hoursAgo(0.99)) }),
  '/6101': () => ({ portId: 1, property: 0, group: 0 }),
  '/6102': () => 1,
};

// ---- requests --------------------------------------------------------------

// One request; the answer is read as text and, where it parses, as JSON.
async function call(path, { method = 'POST', query = '', body, type, blob = false } = {}) {
  const headers = {};
  if (type) headers['Content-Type'] = type;
  const url = path + (query ? '?' + query : '');
  const began = performance.now();
  try {
    const reply = await fetch(url, { method, headers, body: method === 'GET' ? undefined : body,
                                     credentials: 'same-origin' });
    const result = { status: reply.status, statusText: reply.statusText, headers: reply.headers };
    if (blob) result.blob = await reply.blob();
    else result.text = await reply.text();
    result.ms = Math.round(performance.now() - began);
    try { result.json = JSON.parse(result.text); } catch (e) { result.json = undefined; }
    return result;
  } catch (e) {
    return { status: 0, statusText: String(e), text: '', ms: Math.round(performance.now() - began) };
  }
}

const postJson = (path, value) => call(path, { body: JSON.stringify(value), type: 'application/json' });

// A blob answer saved under the name its Content-Disposition gives.
function save(result, fallback) {
  const disposition = result.headers.get('Content-Disposition') || '';
  const m = /filename=\s*"?([^";]+)"?/.exec(disposition);
  const a = document.createElement('a');
  a.href = URL.createObjectURL(result.blob);
  a.download = m ? m[1].trim() : fallback;
  document.body.appendChild(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 60000);
  return a.download;
}

// ---- times -----------------------------------------------------------------

const pad = n => String(n).padStart(2, '0');
const hoursAgo = h => new Date(Date.now() - h * 3600000);
const localText = (d, sep) => `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())}` +
                              `${sep}${pad(d.getHours())}:${pad(d.getMinutes())}:${pad(d.getSeconds())}`;
const isoZ = d => localText(d, 'T') + 'Z';  // the download reads local time with a literal Z
const inputTime = d => localText(d, 'T');
const fromInput = text => new Date(text);

// ---- login -----------------------------------------------------------------

async function login(event) {
  event.preventDefault();
  const r = await postJson('/1000', { userName: $('user').value, md5: md5($('password').value) });
  const state = $('login-state');
  if (!r.json || typeof r.json.type !== 'number' || r.json.type < 0) {
    state.textContent = `refused (${r.status} ${r.text.slice(0, 60)})`;
    return;
  }
  // Needed only when the device asks for sessions; harmless otherwise.
  if (r.json.sessionId) document.cookie = `sessionId=${r.json.sessionId}; path=/; SameSite=Strict`;
  state.textContent = `logged in as ${r.json.userName || $('user').value}` +
                      (r.json.model ? ` on ${r.json.model}` : '');
}

// ---- resource browser ------------------------------------------------------

let resources = [];

async function loadResources() {
  const r = await call('resources.json', { method: 'GET' });
  if (!Array.isArray(r.json)) {
    $('resource-count').textContent = 'no resource list (resources.json): scripts/run writes it';
    return;
  }
  resources = r.json;
  const modules = new Map();
  for (const res of resources) {
    if (!modules.has(res.module)) modules.set(res.module, []);
    modules.get(res.module).push(res);
  }
  const box = $('resources');
  box.textContent = '';
  for (const [name, list] of modules) {
    const group = document.createElement('details');
    const title = document.createElement('summary');
    title.textContent = `${name} (${list.length})`;
    group.appendChild(title);
    for (const res of list) {
      const row = document.createElement('div');
      row.className = 'res';
      row.dataset.path = res.path;
      row.dataset.words = `${res.path} ${res.module} ${res.help} ${res.method}`.toLowerCase();
      const path = document.createElement('b');
      path.textContent = res.path;
      const help = document.createElement('span');
      help.textContent = res.help;
      row.append(path, help);
      if (res.method.includes('multipart')) {
        const note = document.createElement('i');
        note.textContent = 'upload';
        row.appendChild(note);
      }
      row.addEventListener('click', () => pick(res, row));
      group.appendChild(row);
    }
    box.appendChild(group);
  }
  filter();
}

// Every word of the search box must appear in the path, module or help.
function filter() {
  const words = $('search').value.toLowerCase().split(/\s+/).filter(Boolean);
  let shown = 0;
  for (const group of $('resources').children) {
    let any = 0;
    for (const row of group.querySelectorAll('.res')) {
      const match = words.every(w => row.dataset.words.includes(w));
      row.hidden = !match;
      any += match;
    }
    group.hidden = any === 0;
    group.open = words.length > 0 && any > 0;
    shown += any;
  }
  $('resource-count').textContent = `${shown} of ${resources.length} resources`;
}

function pick(res, row) {
  for (const on of document.querySelectorAll('.res.on')) on.classList.remove('on');
  row.classList.add('on');
  $('path').value = res.path;
  $('help').textContent = `${res.module}: ${res.help} (${res.method})`;
  $('method').value = 'POST';
  const upload = res.method.includes('multipart');
  $('body-kind').value = upload ? 'file' : 'json';
  const template = TEMPLATES[res.path];
  $('body').value = template ? JSON.stringify(template(), null, 2) : '';
  bodyKindChanged();
}

function bodyKindChanged() {
  const file = $('body-kind').value === 'file';
  $('file').hidden = !file;
  $('body').hidden = file;
}

function showReply(r) {
  const head = $('reply-head');
  head.textContent = `${r.status} ${r.statusText}  ${r.ms} ms  ${r.text.length} bytes`;
  head.className = r.status >= 200 && r.status < 300 ? '' : 'bad';
  $('reply').textContent = r.json !== undefined ? JSON.stringify(r.json, null, 2) : r.text;
}

async function send() {
  const method = $('method').value;
  const options = { method, query: $('query').value.trim() };
  const kind = $('body-kind').value;
  if (kind === 'file') {
    const form = new FormData();
    if ($('file').files[0]) form.append('file', $('file').files[0]);
    options.body = form;  // the browser writes the multipart boundary
  } else if (kind === 'json') {
    options.body = $('body').value;
    options.type = 'application/json';
  } else {
    options.body = $('body').value;
    options.type = FORM;
  }
  $('reply-head').textContent = 'sending...';
  showReply(await call($('path').value.trim(), options));
}

// ---- disks -----------------------------------------------------------------

// The list may come as an array or inside an object: take the first array.
function firstArray(value) {
  if (Array.isArray(value)) return value;
  if (value && typeof value === 'object')
    for (const v of Object.values(value)) if (Array.isArray(v)) return v;
  return [];
}

function table(id, columns, rows, action) {
  const t = $(id);
  t.textContent = '';
  const head = t.insertRow();
  for (const c of columns) head.appendChild(document.createElement('th')).textContent = c;
  if (action) head.appendChild(document.createElement('th'));
  for (const row of rows) {
    const tr = t.insertRow();
    for (const c of columns) tr.insertCell().textContent = row[c] === undefined ? '' : row[c];
    if (action) {
      const b = document.createElement('button');
      b.textContent = action.label;
      b.addEventListener('click', () => action.run(row, b));
      tr.insertCell().appendChild(b);
    }
  }
}

async function refreshDisks() {
  const r = await call('/6100', { method: 'GET' });
  const disks = firstArray(r.json);
  table('disk-table', ['portId', 'vendorName', 'hddType', 'state', 'totalSize', 'freeSize', 'property'],
        disks, { label: 'Format', run: disk => formatDisk(disk.portId) });
  return disks;
}

let formatting = false;

// The format's own answer comes when it is done; meanwhile "/6227" tells
// how far it is (status 1 while it runs; the last format's numbers after).
async function formatDisk(port) {
  if (formatting || (!selftest && !confirm(`Format disk ${port}? Its recordings are lost.`))) return;
  formatting = true;
  $('format-box').hidden = false;
  $('format-label').textContent = `formatting disk ${port}`;
  showFormat(0, '');
  let answer = null;
  const started = call('/6102', { body: String(port), type: FORM }).then(r => { answer = r; });
  while (answer === null) {
    const r = await call('/6227', { method: 'GET' });
    if (r.json && r.json.status === 1 && typeof r.json.percent === 'number') showFormat(r.json.percent, 'running');
    await sleep(400);
  }
  await started;
  if (answer.text === 'OK') showFormat(100, 'done');
  $('format-label').textContent = `disk ${port}: ${answer.status === 200 ? answer.text : answer.status}`;
  formatting = false;
  refreshDisks();
}

function showFormat(percent, state) {
  $('format-progress').value = percent;
  $('format-percent').textContent = `${percent}% ${state}`;
}

// ---- device log ------------------------------------------------------------

let logPage = 1;
let logTypes = null;

function logQuery(separator, page) {
  const start = $('log-start').value ? fromInput($('log-start').value) : hoursAgo(24 * 7);
  const end = $('log-end').value ? fromInput($('log-end').value) : new Date();
  return {
    language: 'en',
    mainType: Number($('log-main').value || 1),
    subTypeArr: [Number($('log-sub').value || 10)],
    curPageNum: page,
    startTime: localText(start, separator),
    endTime: localText(end, separator),
    chnMask: '',
    searchNoChn: 1,
    ch: '0',
    na: 1,
  };
}

async function loadLogTypes() {
  if (logTypes) return;
  const r = await postJson('/1015', { lan: 'en' });
  if (!r.json || !Array.isArray(r.json.mainType)) return;
  logTypes = r.json;
  const main = $('log-main');
  main.textContent = '';
  for (const t of logTypes.mainType) main.add(new Option(t.name, t.key));
  logMainChanged();
}

function logMainChanged() {
  const sub = $('log-sub');
  sub.textContent = '';
  const list = logTypes ? logTypes.subType[$('log-main').selectedIndex] || [] : [];
  for (const t of list) sub.add(new Option(t.name, t.key));
}

async function searchLog(page) {
  logPage = Math.max(1, page);
  $('log-page').textContent = logPage;
  const r = await postJson('/1002', logQuery(' ', logPage));
  if (!r.json || !Array.isArray(r.json.log)) {
    $('log-state').textContent = `no result: ${r.status} ${r.text.slice(0, 80)}`;
    table('log-table', [], []);
    return;
  }
  $('log-state').textContent = `${r.json.count} entries, page ${logPage} (${r.ms} ms)`;
  table('log-table', ['ptc', 'mainType', 'subType', 'parameter', 'user', 'ip', 'chanNo'], r.json.log);
}

async function exportLog() {
  $('log-state').textContent = 'exporting...';
  const r = await call('/1003', { body: JSON.stringify(logQuery('T', 1)), type: 'application/json', blob: true });
  if (r.status !== 200 || !r.blob || !r.blob.size) {
    $('log-state').textContent = `export failed: ${r.status}`;
    return;
  }
  $('log-state').textContent = `saved ${save(r, 'log.csv')} (${r.blob.size} bytes)`;
}

// ---- playback --------------------------------------------------------------

let playbackSid = -1;

function playbackQuery(sid) {
  const start = $('pb-start').value ? fromInput($('pb-start').value) : hoursAgo(24);
  const end = $('pb-end').value ? fromInput($('pb-end').value) : new Date();
  return {
    channelId: Number($('pb-channel').value) - 1,
    sid,  // the previous search, which the device closes
    streamType: Number($('pb-stream').value),
    time: localText(start, ' '),
    endTime: localText(end, ' '),
  };
}

async function searchPlayback() {
  const r = await postJson('/4000', playbackQuery(playbackSid));
  if (!r.json || !Array.isArray(r.json.section)) {
    $('pb-state').textContent = `no sections: ${r.status} ${r.text.slice(0, 80)}`;
    table('pb-table', [], []);
    return;
  }
  playbackSid = r.json.sid;
  $('pb-state').textContent = `${r.json.sectionNum} sections (${r.ms} ms)`;
  table('pb-table', ['startTime', 'endTime', 'recordType', 'lock'], r.json.section,
        { label: 'Download AVI', run: downloadSection });
}

// Only the first eight channels can be downloaded ("id" 0 to 7).
async function downloadSection(section, button) {
  const channel = Number($('pb-channel').value) - 1;
  const t = text => isoZ(new Date(text.replace(' ', 'T')));
  button.disabled = true;
  $('pb-state').textContent = 'downloading...';
  const r = await call('/4013', {
    body: JSON.stringify({ id: channel, streamType: Number($('pb-stream').value),
                           startTime: t(section.startTime), endTime: t(section.endTime) }),
    type: 'application/json', blob: true });
  button.disabled = false;
  const type = r.headers ? r.headers.get('Content-Type') || '' : '';
  if (r.status !== 200 || !type.includes('octet-stream')) {
    $('pb-state').textContent = `download refused: ${r.status} ${r.blob ? await r.blob.text() : ''}`;
    return;
  }
  $('pb-state').textContent = `saved ${save(r, 'playback.avi')} (${r.blob.size} bytes)`;
}

// ---- views -----------------------------------------------------------------

function show(view) {
  for (const b of document.querySelectorAll('nav button')) b.classList.toggle('on', b.dataset.view === view);
  for (const s of document.querySelectorAll('main > section')) s.hidden = s.id !== 'view-' + view;
  if (view === 'disks') refreshDisks();
  if (view === 'log') loadLogTypes();
}

const selftest = new URLSearchParams(location.search).has('selftest');

function init() {
  $('login').addEventListener('submit', login);
  $('search').addEventListener('input', filter);
  $('send').addEventListener('click', send);
  $('body-kind').addEventListener('change', bodyKindChanged);
  $('disks-refresh').addEventListener('click', refreshDisks);
  $('log-main').addEventListener('change', logMainChanged);
  $('log-search').addEventListener('click', () => searchLog(1));
  $('log-prev').addEventListener('click', () => searchLog(logPage - 1));
  $('log-next').addEventListener('click', () => searchLog(logPage + 1));
  $('log-export').addEventListener('click', exportLog);
  $('pb-search').addEventListener('click', searchPlayback);
  for (const b of document.querySelectorAll('nav button')) b.addEventListener('click', () => show(b.dataset.view));
  $('log-start').value = inputTime(hoursAgo(24 * 7));
  $('log-end').value = inputTime(new Date());
  $('pb-start').value = inputTime(hoursAgo(24));
  $('pb-end').value = inputTime(new Date());
  const loaded = loadResources();
  if (selftest) {
    const script = document.createElement('script');
    script.src = 'selftest.js';
    script.onload = () => loaded.then(runSelftest);
    document.body.appendChild(script);
  }
}

init();
