// console.html?selftest[&password=P][&port=N]: drives the console's own
// controls the way a user would (log in, find and send "/6100", upload a
// file, format a disk, search and export the log, search and download
// playback) and writes one line into #selftest, which
// tests/browser/selftest_page.py reads.
'use strict';

async function waitFor(what, test, ms = 20000) {
  const until = Date.now() + ms;
  for (;;) {
    const value = test();
    if (value) return value;
    if (Date.now() > until) throw new Error(`timed out: ${what}`);
    await sleep(100);
  }
}

function click(id) { $(id).click(); }

async function runSelftest() {
  const params = new URLSearchParams(location.search);
  const out = $('selftest');
  const seen = [];
  let step = 'start';
  try {
    step = 'login';
    $('password').value = params.get('password') || 'admin123';
    click('login-button');
    await waitFor('login', () => /^logged in/.test($('login-state').textContent));

    step = 'resources';
    const count = document.querySelectorAll('.res').length;
    if (count === 0) throw new Error('no resources listed');

    step = 'search 6100';
    $('search').value = '6100';
    $('search').dispatchEvent(new Event('input'));
    const row = [...document.querySelectorAll('.res')].find(r => !r.hidden && r.dataset.path === '/6100');
    if (!row) throw new Error('/6100 not found by the search box');
    row.click();
    click('send');
    await waitFor('the /6100 answer', () => /^\d/.test($('reply-head').textContent));
    if (!/^200 /.test($('reply-head').textContent) || !$('reply').textContent.includes('"portId"'))
      throw new Error(`/6100 answered ${$('reply-head').textContent}`);

    step = 'upload';
    // A WAV header is all the device checks; the answer names the file in
    // base64url ("bell.wav" is "YmVsbC53YXY").
    $('search').value = 'wav';
    $('search').dispatchEvent(new Event('input'));
    const upload = [...document.querySelectorAll('.res')].find(r => !r.hidden && r.dataset.path === '/6321');
    if (!upload) throw new Error('/6321 not found by the search box');
    upload.click();
    if ($('body-kind').value !== 'file') throw new Error('/6321 not offered as an upload');
    const files = new DataTransfer();
    files.items.add(new File(['RIFF\x24\0\0\0WAVEfmt '], 'bell.wav', { type: 'audio/wav' }));
    $('file').files = files.files;
    $('reply-head').textContent = '';
    click('send');
    await waitFor('the upload answer', () => /^\d/.test($('reply-head').textContent));
    if (!$('reply').textContent.startsWith('CGI OK status:[0], data:[YmVsbC53YXY]'))
      throw new Error(`/6321 answered ${$('reply-head').textContent}: ${$('reply').textContent}`);

    step = 'disks';
    document.querySelector('nav button[data-view="disks"]').click();
    await waitFor('the disk table', () => $('disk-table').rows.length > 1);
    const disks = $('disk-table').rows.length - 1;
    const port = params.get('port') || '3';
    const rowOf = [...$('disk-table').rows].find(r => r.cells[0].textContent === port);
    if (!rowOf) throw new Error(`no disk ${port}`);

    step = 'format';
    rowOf.querySelector('button').click();
    await waitFor('the format to start', () => !$('format-box').hidden);
    await waitFor('the format to end', () => {
      const v = $('format-progress').value;
      if (seen[seen.length - 1] !== v) seen.push(v);
      return !formatting;
    }, 60000);
    const between = seen.filter(v => v > 0 && v < 100).length;
    if (between === 0 || seen[seen.length - 1] !== 100)
      throw new Error(`the bar did not move: ${seen.join(',')}`);
    const format = `format=${$('format-label').textContent} progress=${seen.join(',')}`;

    step = 'log';
    document.querySelector('nav button[data-view="log"]').click();
    await waitFor('the log types', () => $('log-sub').options.length > 0);
    click('log-search');
    await waitFor('the log search', () => /entries|no result/.test($('log-state').textContent));
    const entries = $('log-table').rows.length - 1;
    if (entries < 1) throw new Error(`log search: ${$('log-state').textContent}`);
    click('log-export');
    await waitFor('the export', () => /saved|failed/.test($('log-state').textContent));
    const csv = $('log-state').textContent;
    if (!/^saved .*\.csv/.test(csv)) throw new Error(csv);

    step = 'playback';
    document.querySelector('nav button[data-view="playback"]').click();
    click('pb-search');
    await waitFor('the playback search', () => /sections/.test($('pb-state').textContent));
    const sections = $('pb-table').rows.length - 1;
    if (sections < 1) throw new Error($('pb-state').textContent);
    $('pb-table').rows[sections].querySelector('button').click();
    await waitFor('the download', () => /saved|refused/.test($('pb-state').textContent));
    const avi = $('pb-state').textContent;
    if (!/^saved .*\.avi/.test(avi)) throw new Error(avi);

    out.textContent = `SELFTEST PASS resources=${count} upload=ok disks=${disks} ${format} ` +
                      `log=${entries} rows, ${csv} playback=${sections} sections, ${avi}`;
  } catch (e) {
    out.textContent = `SELFTEST FAIL at ${step}: ${e.message} (${$('format-label').textContent})`;
  }
}
