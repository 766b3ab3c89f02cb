#!/usr/bin/env node
// Loads one page in Debian's chromium, headless, with a fresh profile, and
// waits for the page to report its own check (window.pageCheck). Prints one
// JSON line: the page's report, plus the addresses of requests that failed.
//
//   node load-page.js URL [TIMEOUT_SECONDS]
//
// Exit code 0 when the page reported, 1 when it did not (the JSON line then
// carries "error").
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const kChromium = process.env.QUILLMOOR_CHROMIUM || '/usr/bin/chromium';

// The machine has no outside network: nothing may try to reach it, and the
// only traffic is the page's own.
const kArguments = [
  '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--no-proxy-server', '--disable-features=Translate,OptimizationHints,MediaRouter',
];

// QUILLMOOR_TRUSTED_SPKI: the base64 SHA-256 of a test server's public key,
// whose certificate (from a test CA) chromium then accepts.
function launchArguments() {
  const spki = process.env.QUILLMOOR_TRUSTED_SPKI;
  return spki ? [...kArguments, `--ignore-certificate-errors-spki-list=${spki}`] : kArguments;
}

async function loadPage(url, timeoutMs) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmoor-chromium-'));
  let browser = null;
  try {
    browser = await puppeteer.launch({
      executablePath: kChromium, headless: true, userDataDir: profile, args: launchArguments(),
      timeout: timeoutMs,
    });
    const page = await browser.newPage();
    const failedRequests = [];
    page.on('requestfailed', (request) => failedRequests.push(`${request.url()} ${(request.failure() || {}).errorText}`));
    await page.goto(url, {waitUntil: 'domcontentloaded', timeout: timeoutMs});
    const handle = await page.waitForFunction(() => window.pageCheck, {timeout: timeoutMs, polling: 50});
    const report = await handle.jsonValue();
    return {...report, failedRequests};
  } finally {
    if (browser) await browser.close().catch(() => {});
    fs.rmSync(profile, {recursive: true, force: true});
  }
}

async function main() {
  const url = process.argv[2];
  const timeoutMs = 1000 * Number(process.argv[3] || 120);
  if (!url) {
    console.error('usage: load-page.js URL [TIMEOUT_SECONDS]');
    return 2;
  }
  try {
    console.log(JSON.stringify(await loadPage(url, timeoutMs)));
    return 0;
  } catch (error) {
    console.log(JSON.stringify({error: String(error && error.message || error)}));
    return 1;
  }
}

main().then((code) => process.exit(code));
