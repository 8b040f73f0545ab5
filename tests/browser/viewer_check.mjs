// The viewer as a person sees it, in headless chromium driven by
// puppeteer-core: the picture moves, the gain slider brightens it, an unplug
// shows the message. Screenshots are kept in the output directory.
// Usage: node viewer_check.mjs URL OUTPUT_DIRECTORY CHROMIUM
import puppeteer from "puppeteer-core";

const [url, out, chromium] = process.argv.slice(2);
const failures = [];
function check(ok, what) {
  console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
  if (!ok) failures.push(what);
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 900 });
  page.on("pageerror", (error) => check(false, `no script error (${error.message})`));
  await page.goto(url);

  // The camera given on the command line streams; its settings are listed.
  await page.waitForFunction(() => document.getElementById("picture").naturalWidth > 0,
                             { timeout: 20000 });
  await page.waitForSelector('input[name="gain"]', { timeout: 20000 });
  await page.waitForFunction(() => /sequence \d+/.test(document.getElementById("sequence").textContent),
                             { timeout: 20000 });
  const picture = await page.$("#picture");
  const sequence = async () => Number((await page.$eval("#sequence", (e) => e.textContent)).split(" ")[1]);

  // The mean brightness of a screenshot, measured in the page from the PNG.
  async function brightness(png) {
    return page.evaluate(async (base64) => {
      const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
      const image = await createImageBitmap(new Blob([bytes], { type: "image/png" }));
      const canvas = new OffscreenCanvas(image.width, image.height);
      const context = canvas.getContext("2d");
      context.drawImage(image, 0, 0);
      const data = context.getImageData(0, 0, image.width, image.height).data;
      let sum = 0;
      for (let i = 0; i < data.length; i += 4) sum += data[i] + data[i + 1] + data[i + 2];
      return sum / (data.length / 4) / 3;
    }, Buffer.from(png).toString("base64"));
  }

  const first = await picture.screenshot({ path: `${out}/picture-1.png` });
  const sequence1 = await sequence();
  await sleep(1000);
  const second = await picture.screenshot({ path: `${out}/picture-2.png` });
  const sequence2 = await sequence();
  check(!Buffer.from(first).equals(Buffer.from(second)), "the picture changes over a second");
  check(sequence2 > sequence1, `the sequence moves (${sequence1} -> ${sequence2})`);

  // The LED on, for the page's screenshot; then the gain to its top.
  await page.$eval('input[name="led"]', (e) => {
    e.value = 32;
    e.dispatchEvent(new Event("change"));
  });
  await sleep(800);
  await page.screenshot({ path: `${out}/viewer.png` });
  const dark = await brightness(await picture.screenshot({ path: `${out}/gain-low.png` }));
  await page.$eval('input[name="gain"]', (e) => {
    e.value = e.max;
    e.dispatchEvent(new Event("change"));
  });
  await sleep(1000);
  const bright = await brightness(await picture.screenshot({ path: `${out}/gain-high.png` }));
  check(bright > dark * 1.2, `the gain slider brightens the picture (${dark.toFixed(1)} -> ${bright.toFixed(1)})`);

  // The camera unplugged through the rig.
  await page.evaluate(() => fetch(url("/api/rig/unplug", { device: 0 }), { method: "POST" }));
  await page.waitForFunction(
      () => document.getElementById("message").classList.contains("show") &&
            /unplugged/.test(document.getElementById("message").textContent),
      { timeout: 10000 }).then(() => check(true, "the unplug shows a message"),
                               () => check(false, "the unplug shows a message"));
  await page.screenshot({ path: `${out}/unplugged.png` });
} finally {
  await browser.close();
}
if (failures.length) {
  console.log(`${failures.length} check(s) failed`);
  process.exit(1);
}
console.log("every check passed");
