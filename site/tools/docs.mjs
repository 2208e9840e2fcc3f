// The docs (docs/*.md) as the site's HTML pages: each converted by cmark-gfm
// (Debian's package, installed by scripts/setup-web.sh) with GitHub's tables,
// then given ids on its headings (GitHub's rule, so links to #a-heading work),
// links to the other docs as .html, and the page frame (site.css, a bar back to
// the site and the docs' index). docs/index.html lists them all.
//
//   docsPages(DOCS_DIR) -> {pages: [{file, title, html}], otherFiles: [paths below DOCS_DIR]}
//
// otherFiles are what the pages may show or link (pictures, example sources):
// every file below DOCS_DIR that is not a converted .md.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

const escape = (text) => text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
const textOf = (html) => html.replace(/<[^>]*>/g, '').replace(/&lt;/g, '<').replace(/&gt;/g, '>')
  .replace(/&quot;/g, '"').replace(/&amp;/g, '&');

// GitHub's heading anchor: lower case, punctuation dropped, spaces as hyphens.
export function slug(text) {
  return text.trim().toLowerCase().replace(/[^\p{L}\p{N}\s_-]/gu, '').replace(/\s/g, '-');
}

function convert(markdown) {
  try {
    return execFileSync('cmark-gfm', ['--unsafe', '-e', 'table', '-e', 'autolink', '-e', 'strikethrough'],
                        { input: markdown, maxBuffer: 64 << 20 }).toString('utf8');
  } catch (error) {
    if (error.code === 'ENOENT') throw new Error('cmark-gfm is missing: run scripts/setup-web.sh');
    throw error;
  }
}

// The body's headings with ids, and `x.md` links as `x.html`.
export function finishBody(body) {
  const used = new Map();
  return body
    .replace(/<h([1-6])>([\s\S]*?)<\/h\1>/g, (all, level, inner) => {
      const base = slug(textOf(inner));
      const n = used.get(base) || 0;
      used.set(base, n + 1);
      const id = n === 0 ? base : `${base}-${n}`;
      return `<h${level} id="${id}"><a class="anchor" href="#${id}" aria-hidden="true">#</a>${inner}</h${level}>`;
    })
    .replace(/href="([^":#]+)\.md(#[^"]*)?"/g, (all, name, anchor = '') => `href="${name}.html${anchor}"`);
}

function frame(title, body, nav) {
  return `<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>${escape(title)} &ndash; TAVLO</title>
<link rel="icon" href="data:,">
<link rel="stylesheet" href="../site.css">
</head>
<body class="doc">
<nav class="site-bar"><a href="../index.html">TAVLO</a> &rsaquo; <a href="index.html">Docs</a>${nav}
 &middot; <a href="../playground/playground.html">Playground</a></nav>
<main>
${body}
</main>
</body>
</html>
`;
}

export function docsPages(docsDir) {
  const sources = fs.readdirSync(docsDir).filter((n) => n.endsWith('.md')).sort();
  const pages = sources.map((name) => {
    const markdown = fs.readFileSync(path.join(docsDir, name), 'utf8');
    const heading = /^# (.+)$/m.exec(markdown);
    const title = heading ? heading[1].replace(/`/g, '') : name.slice(0, -3);
    const file = `${name.slice(0, -3)}.html`;
    return { file, title, html: frame(title, finishBody(convert(markdown)), ` &rsaquo; ${escape(title)}`) };
  });
  const list = pages.map((p) => `<li><a href="${p.file}">${escape(p.title)}</a></li>`).join('\n');
  pages.push({ file: 'index.html', title: 'Docs',
               html: frame('Docs', `<h1>Docs</h1>\n<ul class="doc-list">\n${list}\n</ul>`, '') });
  const otherFiles = [];
  const walk = (relative) => {
    for (const entry of fs.readdirSync(path.join(docsDir, relative), { withFileTypes: true })) {
      const name = path.posix.join(relative, entry.name);
      if (entry.isDirectory()) walk(name);
      else if (entry.isFile() && !(relative === '' && name.endsWith('.md'))) otherFiles.push(name);
    }
  };
  walk('');
  return { pages, otherFiles: otherFiles.sort() };
}
